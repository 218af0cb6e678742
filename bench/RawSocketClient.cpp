#include "RawSocketClient.h"

#include <cstring>

#include "S7Frame.h"

namespace {
constexpr quint16 kPduReference = 0x0100;
}

RawSocketClient::RawSocketClient()
{
    for (const BenchCase &c : BenchCase::all())
        requests[size_t(c.kind)] = requestFor(c);
}

QByteArray RawSocketClient::requestFor(const BenchCase &c)
{
    if (c.isWrite())
        return S7Frame::writeRequest(kPduReference, c.dbNumber, c.byteAddress, c.image.size(), c.image,
                                     S7::AreaDataBlocks);
    return S7Frame::readRequest(kPduReference, c.byteAddress, c.image.size(), c.dbNumber, S7::AreaDataBlocks);
}

bool RawSocketClient::connectTo(quint16 port)
{
    const bool opened = socket.open(port);
    if (!opened)
        error = socket.error();
    return opened;
}

void RawSocketClient::perform(const BenchCase &c)
{
    answered = socket.exchange(requests[size_t(c.kind)]);
}

bool RawSocketClient::check(const BenchCase &c)
{
    const char *reply = socket.replyData();
    const size_t length = socket.replySize();
    const size_t expected = size_t(c.image.size());
    const bool right = answered
            && (c.isWrite() ? length == size_t(S7::WriteReplyLength)
                                  && quint8(reply[S7::WriteReplyReturnCodeOffset]) == S7::ReturnCodeSuccess
                            : length == size_t(S7::ReadReplyDataOffset) + expected
                                  && std::memcmp(reply + S7::ReadReplyDataOffset, c.image.constData(), expected) == 0);
    if (!right)
        error = QStringLiteral("unexpected reply: %1").arg(QString::fromLatin1(socket.reply().toHex()));
    return right;
}
