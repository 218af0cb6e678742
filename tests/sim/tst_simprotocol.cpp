// Frames in, frames out of the simulated CPU, without sockets: who may
// connect, setup, reads and writes, access, protection and the password,
// the block, clock, PI and system state list families, block kinds and V
// memory. Every expected frame is written out here from the wire format.
#include "SimCpuProfile.h"
#include "SimState.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

QByteArray h(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray be16(int value)
{
    QByteArray bytes(2, '\0');
    qToBigEndian(quint16(value), bytes.data());
    return bytes;
}

constexpr int JobReference = 5;
constexpr int UserDataReference = 1;
const QByteArray Reset = "reset"; // the reply column's word for a TCP reset, nothing sent
const QByteArray Nothing = h("0a000000"); // a data item with nothing in it

QByteArray frame(const QByteArray &s7)
{
    return h("0300") + be16(7 + s7.size()) + h("02f080") + s7;
}

QByteArray connectRequest(int calling, int called)
{
    return h("0300001611e00000000100c0010ac102") + be16(calling) + h("c202") + be16(called);
}

QByteArray connectConfirm(int calling, int called)
{
    return h("0300001611d00001000100c0010ac102") + be16(calling) + h("c202") + be16(called);
}

QByteArray setupJob(int calling, int called, int pdu)
{
    return h("0300001902f080320100000000000800 00f000") + be16(calling) + be16(called) + be16(pdu);
}

QByteArray setupGrant(int calling, int called, int pdu)
{
    return h("0300001b02f080320300000000000800000000f000") + be16(calling) + be16(called) + be16(pdu);
}

QByteArray job(const QByteArray &params, const QByteArray &data = QByteArray())
{
    return frame(h("32010000") + be16(JobReference) + be16(params.size()) + be16(data.size()) + params + data);
}

QByteArray ackData(int error, const QByteArray &params = QByteArray(), const QByteArray &data = QByteArray())
{
    return frame(h("32030000") + be16(JobReference) + be16(params.size()) + be16(data.size()) + be16(error) + params
                 + data);
}

// An acknowledgement without data (message type 2), as PUT/GET access off answers.
QByteArray bareAck(int error)
{
    return frame(h("32020000") + be16(JobReference) + h("00000000") + be16(error));
}

QByteArray item(int area, int db, int offset, int count)
{
    return h("120a1002") + be16(count) + be16(db) + char(area) + char(offset >> 13) + be16(offset * 8);
}

QByteArray readJob(int area, int db, int offset, int count)
{
    return job(h("0401") + item(area, db, offset, count));
}

QByteArray writeJob(int area, int db, int offset, const QByteArray &bytes)
{
    return job(h("0501") + item(area, db, offset, bytes.size()), h("0004") + be16(bytes.size() * 8) + bytes);
}

QByteArray readReply(const QByteArray &bytes)
{
    return ackData(0, h("0401"), h("ff04") + be16(bytes.size() * 8) + bytes);
}

QByteArray userDataRequest(int group, int subfunction, const QByteArray &data)
{
    const QByteArray params = h("0001120411") + char(0x40 | group) + char(subfunction) + '\0';
    return frame(h("32070000") + be16(UserDataReference) + be16(params.size()) + be16(data.size()) + params + data);
}

QByteArray userDataReply(int group, int subfunction, int sequence, int error, const QByteArray &data)
{
    const QByteArray params = h("0001120812") + char(0x80 | group) + char(subfunction) + char(sequence) + h("0000")
        + be16(error);
    return frame(h("32070000") + be16(UserDataReference) + be16(params.size()) + be16(data.size()) + params + data);
}

QByteArray octets(const QByteArray &payload)
{
    return h("ff09") + be16(payload.size()) + payload;
}

QByteArray szl(int id, int index)
{
    return userDataRequest(4, 1, octets(be16(id) + be16(index)));
}

QByteArray szlAnswer(const QByteArray &list)
{
    return userDataReply(4, 1, 1, 0, octets(list));
}

// The session password as clients send it ("secret" and "wrong", padded
// with blanks): each byte XORed with 0x55, from the third on also with
// the encoded byte two before.
const QByteArray Secret = h("2630101720365543");
const QByteArray WrongPassword = h("2227181c2a695f1c");
const QByteArray SetSecret = userDataRequest(5, 1, octets(Secret));
const QByteArray ClearPassword = userDataRequest(5, 2, Nothing);
const QByteArray Done5 = userDataReply(5, 1, 1, 0, Nothing);

const QByteArray Stop = job(h("290000000000 09") + "P_PROGRAM");
const QByteArray WarmRestart = job(h("28000000000000fd 0000 09") + "P_PROGRAM");

// One exchange: the request, its reply, the bytes at the reply's end (a clock) not compared.
struct Step { QByteArray request; QByteArray reply; int clockBytes = 0; };
using Steps = QList<Step>;

} // namespace

Q_DECLARE_METATYPE(Steps)

class TstSimProtocol : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimState> shared;
    std::unique_ptr<SimProtocol> protocol;
    quint64 id = 0;

    SimProtocol::Outcome send(const QByteArray &request)
    {
        return shared->answer(id, *protocol, request);
    }
    // The CPU of the row: "putget=off", "protection=LEVEL:PASSWORD",
    // "rackslot=RACK:SLOT", "db=N:SIZE[:readonly|optimized]", "stop",
    // "pdu=BYTES", "fault" (refused connections); DB1.4 holds ab cd and M5 08.
    bool configure(const QString &cpu, const QString &settings)
    {
        SimState &state = *shared;
        state.setCpu(*SimCpuProfile::find(cpu));
        bool ok = state.setMemory(SimMemory::AreaDataBlocks, 1, 4, h("abcd"))
            && state.setMemory(SimMemory::AreaMarkers, 0, 5, h("08"));
        for (const QString &setting : settings.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList parts = setting.split(QRegularExpression(QStringLiteral("[=:]")));
            const QString name = parts.at(0);
            if (name == QLatin1String("putget"))
                ok &= state.setPutGet(false);
            else if (name == QLatin1String("protection"))
                ok &= state.setProtection(parts.at(1).toInt(), parts.at(2));
            else if (name == QLatin1String("rackslot"))
                state.setRackSlot(parts.at(1).toInt(), parts.at(2).toInt());
            else if (name == QLatin1String("db"))
                state.addDataBlock(parts.at(1).toInt(), parts.at(2).toInt(),
                                   parts.value(3) == QLatin1String("optimized") ? SimMemory::BlockAccess::Optimized
                                   : parts.value(3) == QLatin1String("readonly") ? SimMemory::BlockAccess::ReadOnly
                                                                                 : SimMemory::BlockAccess::ReadWrite);
            else if (name == QLatin1String("stop"))
                state.setRunning(false);
            else if (name == QLatin1String("pdu"))
                state.setPduSize(parts.at(1).toInt());
            else if (name == QLatin1String("fault"))
                state.setFault(SimPlc::Fault::RefuseConnect, 0);
            else
                ok = false;
        }
        return ok;
    }
    // A connection request the CPU serves and, unless the row sets up
    // itself, the setup (PDU 480 asked), as any client starts.
    void connectAndSetUp(const QString &cpu, bool setUp = true)
    {
        const bool logo = cpu == QLatin1String("logo");
        const bool classic = cpu == QLatin1String("s7-300") || cpu == QLatin1String("s7-400");
        const int calling = logo ? 0x0300 : 0x0100;
        const int called = logo ? 0x0200 : classic ? 0x0102 : 0x0300;
        QCOMPARE(send(connectRequest(calling, called)).reply.toHex(), connectConfirm(calling, called).toHex());
        if (setUp)
            QCOMPARE(send(setupJob(1, 1, 480)).reply.size(), 27);
    }

private slots:
    void init()
    {
        shared.reset(new SimState);
        protocol.reset(new SimProtocol(1, 1));
        id = shared->connectionOpened(QStringLiteral("127.0.0.1:40000")).id;
    }

    void exchange_data()
    {
        QTest::addColumn<QString>("cpu");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<int>("runningAfter"); // -1: not looked at

        // Who may connect: rack and slot in the called TSAP, or a configured pair.
        QTest::addRow("s7-300 serves rack 0 slot 2, resets 03.00") << "s7-300" << ""
            << Steps{{connectRequest(0x0100, 0x0102), connectConfirm(0x0100, 0x0102)},
                     {connectRequest(0x1000, 0x0300), Reset}} << -1;
        QTest::addRow("s7-1200 serves slot 1 as OP") << "s7-1200" << ""
            << Steps{{connectRequest(0x1000, 0x0201), connectConfirm(0x1000, 0x0201)}} << -1;
        QTest::addRow("s7-1200 resets slot 2 and connection type 4") << "s7-1200" << ""
            << Steps{{connectRequest(0x1000, 0x0302), Reset}, {connectRequest(0x1000, 0x0400), Reset}} << -1;
        QTest::addRow("logo serves its configured pair, resets another calling TSAP") << "logo" << ""
            << Steps{{connectRequest(0x0300, 0x0200), connectConfirm(0x0300, 0x0200)},
                     {connectRequest(0x1000, 0x0200), Reset}} << -1;
        QTest::addRow("rack and slot set: slot 3 only") << "s7-300" << "rackslot=0:3"
            << Steps{{connectRequest(0x0100, 0x0103), connectConfirm(0x0100, 0x0103)},
                     {connectRequest(0x0100, 0x0102), Reset}} << -1;
        // The confirm: the CPU's own reference, the caller's echoed, and the
        // TPDU size and both TSAPs always in that order, as asked.
        QTest::addRow("confirm: parameters in the CPU's order") << "s7-1200" << ""
            << Steps{{h("0300001611e00000000f00c2020100c1020311c0010a"), h("0300001611d0000f000100c0010ac1020311c2020100")}}
            << -1;
        QTest::addRow("confirm: TPDU size 8192 echoed") << "s7-1200" << ""
            << Steps{{h("0300001611e00000000700c0010dc1021000c2020301"), h("0300001611d00007000100c0010dc1021000c2020301")}}
            << -1;
        QTest::addRow("confirm: no TPDU size asked") << "s7-1200" << ""
            << Steps{{h("030000130ee00000000100c1021000c2020301"), h("030000130ed00001000100c1021000c2020301")}} << -1;

        // Setup: each parallel-job count and the PDU the lesser of what was
        // asked and what the CPU allows (or its PDU set).
        QTest::addRow("s7-300 setup, 8/8 960 asked") << "s7-300" << ""
            << Steps{{setupJob(8, 8, 960), setupGrant(2, 2, 240)}} << -1;
        QTest::addRow("s7-400 setup, 1/1 960 asked") << "s7-400" << ""
            << Steps{{setupJob(1, 1, 960), setupGrant(1, 1, 480)}} << -1;
        QTest::addRow("s7-1200 setup, 8/8 1008 asked") << "s7-1200" << ""
            << Steps{{setupJob(8, 8, 1008), setupGrant(3, 3, 240)}} << -1;
        QTest::addRow("s7-1500 setup, 8/8 480 asked") << "s7-1500" << ""
            << Steps{{setupJob(8, 8, 480), setupGrant(3, 3, 480)}} << -1;
        QTest::addRow("s7-1500 setup, PDU set to 200") << "s7-1500" << "pdu=200"
            << Steps{{setupJob(1, 1, 480), setupGrant(1, 1, 200)}} << -1;

        // Reads and writes, read back; what each refusal gets.
        QTest::addRow("read DB1.4, write it, read it back") << "s7-1200" << ""
            << Steps{{readJob(0x84, 1, 4, 2), readReply(h("abcd"))},
                     {writeJob(0x84, 1, 4, h("1234")), ackData(0, h("0501"), h("ff"))},
                     {readJob(0x84, 1, 4, 2), readReply(h("1234"))}} << -1;
        QTest::addRow("bit M5.3 read, M5.0 written") << "s7-1200" << ""
            << Steps{{job(h("0401 120a10010001000083 00002b")), ackData(0, h("0401"), h("ff03000101"))},
                     {job(h("0501 120a10010001000083 000028"), h("00030001 01")), ackData(0, h("0501"), h("ff"))},
                     {readJob(0x83, 0, 5, 1), readReply(h("09"))}} << -1;
        QTest::addRow("items refused one by one") << "s7-1200" << ""
            << Steps{{readJob(0x84, 7, 0, 2), ackData(0, h("0401"), Nothing)},                // no DB7
                     {readJob(0x84, 1, 1023, 2), ackData(0, h("0401"), h("05000000"))},       // past the end
                     {job(h("0401 120a101c00020001 84 000020")), ackData(0, h("0401"), h("06000000"))}, // counter size
                     {job(h("0401 120a100200020000 1d 000002")), ackData(0, h("0401"), h("06000000"))}}  // timer as bytes
            << -1;
        QTest::addRow("a reply of 222 bytes fits PDU 240, of 230 not") << "s7-1200" << ""
            << Steps{{readJob(0x84, 1, 0, 222), readReply(h("00000000abcd") + QByteArray(216, '\0'))},
                     {readJob(0x84, 1, 0, 230), ackData(0x8500)}} << -1;
        QTest::addRow("jobs refused as a whole") << "s7-1200" << ""
            << Steps{{job(h("9901120a100200020001840000 20")), ackData(0x8104)},              // unknown function
                     {job(h("0402120a100200020001840000 20")), ackData(0x8404)},              // items missing
                     {job(h("0501120a100200020001840000 20"), h("00040010 12")), ackData(0x8404)}} // data short
            << -1;

        // Access: PUT/GET, protection and the session password.
        QTest::addRow("put/get off: read and write get the bare ack") << "s7-1200" << "putget=off"
            << Steps{{readJob(0x84, 1, 0, 2), bareAck(0x8104)}, {writeJob(0x84, 1, 0, h("1234")), bareAck(0x8104)}}
            << -1;
        QTest::addRow("protection 2: reads served, writes refused") << "s7-300" << "protection=2:secret"
            << Steps{{readJob(0x84, 1, 0, 2), readReply(h("0000"))}, {writeJob(0x84, 1, 0, h("1234")), ackData(0xd241)}}
            << -1;
        QTest::addRow("protection 3: reads refused") << "s7-300" << "protection=3:secret"
            << Steps{{readJob(0x84, 1, 0, 2), ackData(0xd241)}} << -1;
        QTest::addRow("the password lifts protection until cleared") << "s7-300" << "protection=2:secret"
            << Steps{{SetSecret, Done5},
                     {writeJob(0x84, 1, 0, h("1234")), ackData(0, h("0501"), h("ff"))},
                     {szl(0x0232, 4), szlAnswer(h("023200040028000100040001000200010002") + QByteArray(30, '\0'))},
                     {ClearPassword, userDataReply(5, 2, 1, 0, Nothing)},
                     {writeJob(0x84, 1, 0, h("5678")), ackData(0xd241)},
                     {szl(0x01a0, 1), szlAnswer(h("01a00001001400 01 a003ffff 0000000000000000") + QByteArray(8, '\0')), 8}}
            << -1;
        QTest::addRow("a wrong password lifts nothing") << "s7-300" << "protection=2:secret"
            << Steps{{userDataRequest(5, 1, octets(WrongPassword)), userDataReply(5, 1, 1, 0xd602, Nothing)},
                     {writeJob(0x84, 1, 0, h("1234")), ackData(0xd241)},
                     {szl(0x0232, 4), szlAnswer(h("023200040028000100040001000200020002") + QByteArray(30, '\0'))}}
            << -1;
        QTest::addRow("no password to set or clear") << "s7-300" << ""
            << Steps{{SetSecret, userDataReply(5, 1, 1, 0xd605, Nothing)},
                     {ClearPassword, userDataReply(5, 2, 1, 0xd604, Nothing)}} << -1;

        // Writes of several items: odd-length ones need their fill byte.
        const QByteArray twoItems = h("0502") + item(0x84, 1, 0, 1) + item(0x84, 1, 1, 1);
        QTest::addRow("fill byte missing: the bare ack") << "s7-300" << ""
            << Steps{{job(twoItems, h("00040008aa 00040008bb")), bareAck(0x8104)},
                     {job(twoItems, h("00040008aa00 00040008bb")), ackData(0, h("0502"), h("ffff"))}} << -1;

        // Block kinds and V memory.
        QTest::addRow("optimized block: absent to absolute addresses") << "s7-1200" << "db=5:16:optimized"
            << Steps{{readJob(0x84, 5, 0, 2), ackData(0, h("0401"), Nothing)},
                     {writeJob(0x84, 5, 0, h("1234")), ackData(0, h("0501"), h("0a"))}} << -1;
        QTest::addRow("read-only block: writes refused") << "s7-1200" << "db=5:16:readonly"
            << Steps{{writeJob(0x84, 5, 0, h("1234")), ackData(0, h("0501"), h("03"))},
                     {readJob(0x84, 5, 0, 2), readReply(h("0000"))}} << -1;
        QTest::addRow("logo: the inputs are VM 1024 on") << "logo" << ""
            << Steps{{writeJob(0x81, 0, 1, h("5a")), ackData(0, h("0501"), h("ff"))},
                     {readJob(0x84, 1, 1025, 1), readReply(h("5a"))}} << -1;
        QTest::addRow("s7-200-smart: V memory is DB1, the only block") << "s7-200-smart" << ""
            << Steps{{readJob(0x84, 1, 16383, 1), readReply(h("00"))},
                     {readJob(0x84, 2, 0, 1), ackData(0, h("0401"), Nothing)}} << -1;

        // Block functions: data blocks 1, 2 and 10 of 1024 bytes.
        const QByteArray dbInfo2 = h("0100004a22007070 0101050a 0002 0000045c 00000000") + QByteArray(12, '\0')
            + h("0014 0000 0000 0400") + QByteArray(24, '\0') + h("1000") + QByteArray(10, '\0');
        QTest::addRow("list all: the data blocks counted") << "s7-300" << ""
            << Steps{{userDataRequest(3, 1, Nothing),
                      userDataReply(3, 1, 0, 0, octets(h("30380000 30450000 30430000 30410003 30420000 30440000 "
                                                         "30460000")))}} << -1;
        QTest::addRow("list of the data blocks, none of the OBs") << "s7-300" << ""
            << Steps{{userDataRequest(3, 2, octets("0A")), userDataReply(3, 2, 1, 0, octets(h("00012205 00022205 000a2205")))},
                     {userDataRequest(3, 2, octets("08")), userDataReply(3, 2, 1, 0xd20e, Nothing)}} << -1;
        QTest::addRow("block info: code, interface and load sizes") << "s7-300" << ""
            << Steps{{userDataRequest(3, 3, octets("0A00002A")), userDataReply(3, 3, 0, 0, octets(dbInfo2))},
                     {userDataRequest(3, 3, octets("0A00007A")), userDataReply(3, 3, 0, 0xd209, Nothing)},
                     {userDataRequest(3, 3, h("0a000008") + "0A00002A"), userDataReply(3, 3, 0, 0xd405, Nothing)}} << -1;
        const QByteArray dbInfo5 = h("0100004a22007070 0101050a 0005 00000400 00000000") + QByteArray(12, '\0')
            + h("0014 0000 0000 0400") + QByteArray(24, '\0') + h("1000") + QByteArray(10, '\0');
        QTest::addRow("s7-1200: block info whatever its item, allocation as code size") << "s7-1200" << "db=5:37"
            << Steps{{userDataRequest(3, 3, h("0a000008") + "0A00005A"), userDataReply(3, 3, 0, 0, octets(dbInfo5))}} << -1;

        // PI services: the CPU's state follows; protection applies.
        QTest::addRow("stop") << "s7-300" << ""
            << Steps{{Stop, ackData(0, h("29"))},
                     {szl(0x01a0, 1), szlAnswer(h("01a0000100140001 4304ffff 0000000000000000") + QByteArray(8, '\0')), 8}}
            << 0;
        QTest::addRow("an injected fault in the diagnostic buffer") << "s7-300" << "fault"
            << Steps{{szl(0x01a0, 1), szlAnswer(h("01a0000100140001 a102ffff 0000000000000000") + QByteArray(8, '\0')), 8}}
            << -1;
        QTest::addRow("stop refused under protection") << "s7-300" << "protection=2:secret"
            << Steps{{Stop, ackData(0xd241, h("29"))}} << 1;
        QTest::addRow("warm restart") << "s7-300" << "stop" << Steps{{WarmRestart, ackData(0, h("28"))}} << 1;
        QTest::addRow("cold restart") << "s7-1500" << "stop"
            << Steps{{job(h("28000000000000fd 0002 4320 09") + "P_PROGRAM"), ackData(0, h("28"))}} << 1;
        QTest::addRow("copy RAM to ROM: nothing to do") << "s7-300" << "stop"
            << Steps{{job(h("28000000000000fd 0002 4550 05") + "_MODU"), ackData(0, h("28"))}} << 0;
        QTest::addRow("a service the CPU does not know") << "s7-300" << ""
            << Steps{{job(h("28000000000000fd 0000 05") + "_INSE"), ackData(0x8104)}} << 1;

        // The clock: set as a write; a date that does not exist.
        QTest::addRow("clock set refused under protection") << "s7-300" << "protection=2:secret"
            << Steps{{userDataRequest(7, 2, octets(h("0019 3105171020304507"))), userDataReply(7, 2, 1, 0xd241, Nothing)}}
            << -1;
        QTest::addRow("clock set to month 13") << "s7-300" << ""
            << Steps{{userDataRequest(7, 2, octets(h("0019 3113171020304507"))), userDataReply(7, 2, 1, 0xdc01, Nothing)}}
            << -1;

        // System state lists: identification, components, the mode, and
        // the refusals of lists and indexes; other functions.
        const QByteArray order1200 = QByteArray("6ES7 214-1AG40-0XB0 ");
        QTest::addRow("s7-1200 module identification: three records with the order number, index echoed") << "s7-1200"
            << "" << Steps{{szl(0x0011, 1), szlAnswer(h("00110001001c0003") + be16(1) + order1200 + h("000000012020")
                                                      + be16(6) + order1200 + h("000000012020") + be16(7) + order1200
                                                      + h("000056040401"))}} << -1;
        QTest::addRow("one identification record") << "s7-300" << ""
            << Steps{{szl(0x0111, 7), szlAnswer(h("01110007001c0001 0007") + QByteArray(20, ' ') + h("00c056030206"))}}
            << -1;
        QTest::addRow("component list header only") << "s7-300" << ""
            << Steps{{szl(0x0f1c, 0), szlAnswer(h("0f1c00000022000a"))}} << -1;
        QTest::addRow("operating mode STOP") << "s7-1500" << "stop"
            << Steps{{szl(0x0424, 0), szlAnswer(h("0424000000140001 5144ff04 0000000000000000") + QByteArray(8, '\0')), 8}}
            << -1;
        QTest::addRow("lists and indexes refused") << "s7-400" << ""
            << Steps{{szl(0x0424, 1), userDataReply(4, 1, 1, 0xd402, Nothing)},  // kept, not that index
                     {szl(0x0a99, 0), userDataReply(4, 1, 1, 0xd401, Nothing)},  // not kept
                     {userDataRequest(1, 1, Nothing), userDataReply(1, 1, 1, 0x8104, Nothing)}, // programmer commands
                     {frame(h("32070000 0001 000c 0004 000112081244010100000000 0a000000")), // a next unit of nothing
                      userDataReply(4, 1, 1, 0xd405, Nothing)}} << -1;
        QTest::addRow("s7-1200: an index it lacks as a list not kept") << "s7-1200" << ""
            << Steps{{szl(0x001c, 1), userDataReply(4, 1, 1, 0xd401, Nothing)}} << -1;

        // System state lists about communication and the lists themselves.
        QTest::addRow("communication capabilities") << "s7-300" << ""
            << Steps{{szl(0x0131, 1),
                      szlAnswer(h("0131000100280001 0001 00f0 0010 00b71b00 0002dc6c 05f5e100") + QByteArray(22, '\0'))}}
            << -1;
        QTest::addRow("s7-1200 list of lists") << "s7-1200" << ""
            << Steps{{szl(0x0000, 0), szlAnswer(h("000000000002000e 0000 0f00 0011 0111 0f11 001c 011c 0f1c 0131 0232 "
                                                  "00a0 01a0 0fa0 0424"))}} << -1;
    }
    void exchange()
    {
        QFETCH(QString, cpu);
        QFETCH(QString, settings);
        QFETCH(Steps, steps);
        QFETCH(int, runningAfter);
        QVERIFY(configure(cpu, settings));
        const QByteArray &first = steps.first().request;
        if (!SimProtocol::isConnectionRequest(first))
            connectAndSetUp(cpu, !first.startsWith(h("0300001902f080320100000000000800 00f000")));
        for (const Step &step : steps) {
            const SimProtocol::Outcome outcome = send(step.request);
            QVERIFY(!outcome.close); // every answer keeps the connection
            const QByteArray reply = outcome.reset ? Reset : outcome.reply;
            QCOMPARE(reply.size(), step.reply.size());
            QCOMPARE(reply.chopped(step.clockBytes).toHex(), step.reply.chopped(step.clockBytes).toHex());
        }
        if (runningAfter >= 0)
            QCOMPARE(shared->running(), runningAfter == 1);
    }

    // A refused request is named in one line with what the CPU serves.
    void refusalLine()
    {
        configure(QStringLiteral("s7-300"), QString());
        QCOMPARE(send(connectRequest(0x1000, 0x0300)).connectionRefused,
                 QStringLiteral("refused 127.0.0.1:40000: calling TSAP 10.00, called TSAP 03.00; the CPU serves "
                                "called 01.02 02.02 03.02"));
    }

    // All connections count towards the CPU's total: the one past it is
    // reset and told so; one that closes frees its place.
    void connectionsInAll()
    {
        configure(QStringLiteral("s7-300"), QString());
        std::vector<std::unique_ptr<SimProtocol>> clients;
        std::vector<quint64> ids;
        const auto connectOne = [&]() {
            ids.push_back(shared->connectionOpened(QStringLiteral("127.0.0.1:%1").arg(40001 + ids.size())).id);
            clients.push_back(std::make_unique<SimProtocol>(1, 1));
            return shared->answer(ids.back(), *clients.back(), connectRequest(0x0100, 0x0202));
        };
        for (int i = 0; i < 16; ++i)
            QVERIFY(!connectOne().reset);
        const SimProtocol::Outcome refused = connectOne();
        QVERIFY(refused.reset && refused.reply.isEmpty());
        QCOMPARE(refused.connectionRefused, QStringLiteral("refused 127.0.0.1:40017: calling TSAP 01.00, called TSAP "
                                                           "02.02; the CPU's connections (16) are all in use"));
        shared->connectionClosed(ids.front());
        QVERIFY(!connectOne().reset);
    }

    // The clock runs on from what a client sets, as DATE_AND_TIME after a
    // reserved byte and the century byte CPUs send.
    void clock()
    {
        configure(QStringLiteral("s7-300"), QString());
        connectAndSetUp(QStringLiteral("s7-300"));
        const QByteArray set = userDataRequest(7, 2, octets(h("0019 3105171020304507"))); // 2031-05-17 10:20:30.450 Sat
        QCOMPARE(send(set).reply.toHex(), userDataReply(7, 2, 1, 0, Nothing).toHex());
        const QByteArray reply = send(userDataRequest(7, 1, Nothing)).reply;
        const QByteArray expected = userDataReply(7, 1, 1, 0, octets(h("0019") + QByteArray(8, '\0')));
        QCOMPARE(reply.chopped(8).toHex(), expected.chopped(8).toHex());
        const QByteArray clock = reply.right(8);
        QCOMPARE(clock.left(5).toHex(), QByteArray("3105171020"));
        QVERIFY2(clock.at(5) >= 0x30 && clock.at(5) <= 0x32, qPrintable(clock.toHex())); // seconds 30 to 32
        QCOMPARE(clock.at(7) & 0x0F, 7);
        const qint64 offset = shared->clockOffsetMs();
        QVERIFY(qAbs(QDateTime::currentDateTime().addMSecs(offset).secsTo(QDateTime({2031, 5, 17}, {10, 20, 30}))) < 3);
    }
};

QTEST_GUILESS_MAIN(TstSimProtocol)
#include "tst_simprotocol.moc"
