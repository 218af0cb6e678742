// The data-block source reader on arbitrary text, as users bring source
// files: lexer and parser, then the layout of every data block it declares.
//  - No crash, undefined behaviour or hang.
//  - A source refused, or a block that cannot be laid out, says where.
//  - A laid-out block is a whole number of words no larger than a block can
//    be; its leaves follow each other in address order within it without
//    overlapping, a BOOL at a bit of its byte, every other leaf at a whole byte.
//  - A start value the source gives either encodes to exactly its leaf's
//    bytes (one for a BOOL) or is refused with a reason: the simulator
//    writes it there and nowhere else.
//
// Input: source text, UTF-8.

#include <cstdint>

#include "FuzzRequire.h"
#include "S7Codec.h"
#include "S7Memory.h"
#include "SymbolLayout.h"
#include "SymbolParser.h"

namespace {

constexpr size_t MaxSource = 16384;
const QString FileName = QStringLiteral("fuzz.db");

bool saysWhere(const QString &error)
{
    return error.startsWith(FileName + QLatin1Char(':'));
}

void requireLeaves(const QList<SymbolLeaf> &leaves, int size)
{
    require(size >= 0 && size % 2 == 0 && size <= S7::MaxAreaBytes);
    qint64 end = 0; // of the leaf before, in bits
    for (const SymbolLeaf &leaf : leaves) {
        const bool isBool = leaf.type.isBool();
        require(isBool ? leaf.bit >= 0 && leaf.bit <= 7 : leaf.bit == -1);
        const qint64 first = qint64(leaf.byte) * 8 + qMax(leaf.bit, 0);
        const qint64 last = first + (isBool ? 1 : qint64(leaf.size()) * 8);
        require(first >= end && last <= qint64(size) * 8);
        end = last;
        if (leaf.initial.isEmpty() || !leaf.type.isWritable())
            continue;
        QByteArray bytes;
        QString error;
        if (S7Codec::encode(leaf.type, leaf.initial, &bytes, &error))
            require(bytes.size() == qMax(leaf.size(), 1));
        else
            require(!error.isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > MaxSource)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    QList<BlockDecl> blocks;
    QString error;
    if (!SymbolParser(text, FileName).parse(&blocks, &error)) {
        require(saysWhere(error));
        return 0;
    }
    QMap<QString, const BlockDecl *> types;
    for (const BlockDecl &block : blocks) {
        if (block.kind != BlockDecl::DataBlock)
            types.insert(block.name.toLower(), &block);
    }
    SymbolLayout layout(types);
    for (const BlockDecl &block : blocks) {
        if (block.kind != BlockDecl::DataBlock)
            continue;
        QList<SymbolLeaf> leaves;
        int bytes = 0;
        error.clear();
        if (layout.layOut(block, 1, &leaves, &bytes, &error))
            requireLeaves(leaves, bytes);
        else
            require(saysWhere(error));
    }
    return 0;
}
