#include "SimSymbols.h"

#include "S7Codec.h"
#include "SimPlc.h"
#include "SymbolOptions.h"

namespace {
// A leaf without a start value holds its type's zero, except where zero
// bytes are no value of the type: a STRING's first byte is its maximum
// length, and the calendar of DATE_AND_TIME and DTL starts at 1990 and 1970.
QString startText(const SymbolLeaf &leaf)
{
    if (!leaf.initial.isEmpty())
        return leaf.initial;
    switch (leaf.type.kind) {
    case S7Type::String:
    case S7Type::WString: return QStringLiteral("''");
    case S7Type::DateAndTime: return QStringLiteral("DT#1990-01-01-00:00:00");
    case S7Type::Dtl: return QStringLiteral("DTL#1970-01-01-00:00:00");
    default: return QString();
    }
}
} // namespace

bool SimSymbols::serve(SimPlc *plc, const QStringList &files, const QStringList &numbers, QString *error)
{
    SymbolTable table;
    if (!SymbolOptions::load(files, numbers, &table, error))
        return false;
    const QList<SymbolTable::Block> blocks = table.blocks();
    QList<QByteArray> images;
    for (const SymbolTable::Block &block : blocks) {
        images << QByteArray();
        if (!image(block, &images.last(), error))
            return false;
    }
    for (int i = 0; i < images.size(); ++i) {
        const SymbolTable::Block &block = blocks.at(i);
        plc->addDataBlock(block.number, block.size);
        plc->setMemory(SimPlc::AreaDataBlocks, block.number, 0, images.at(i));
    }
    return true;
}

bool SimSymbols::image(const SymbolTable::Block &block, QByteArray *bytes, QString *error)
{
    *bytes = QByteArray(block.size, '\0');
    for (const SymbolLeaf &leaf : block.leaves) {
        const QString text = startText(leaf);
        if (text.isEmpty() || !leaf.type.isWritable())
            continue;
        QByteArray value;
        if (!S7Codec::encode(leaf.type, text, &value, error)) {
            *error = QStringLiteral("%1: start value: %2").arg(leaf.symbol, *error);
            return false;
        }
        if (leaf.type.isBool()) {
            const char mask = char(1 << leaf.bit);
            (*bytes)[leaf.byte] = value.at(0) ? char((*bytes).at(leaf.byte) | mask) : char((*bytes).at(leaf.byte) & ~mask);
        } else {
            bytes->replace(leaf.byte, value.size(), value);
        }
    }
    return true;
}
