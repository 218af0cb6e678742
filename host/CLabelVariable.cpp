#include "CLabelVariable.h"

#include "ElementTypes.h"

using ElementTypes::readList;
using ElementTypes::Tag;
using ElementTypes::withElementType;

#include <limits>
#include <type_traits>

namespace {

// The host enumeration runs to this value; everything above has no element type.
constexpr int kLastHostType = DoubleExt4;

// The element type of a data type, as the base enumerator 1 to 12; host
// types 13 to 32 share the elements of a numeric base type. NoType for
// anything without elements.
DataType elementKind(int dataType)
{
    if (dataType >= Bool && dataType <= String)
        return static_cast<DataType>(dataType);
    if (dataType >= Int16Ext1 && dataType <= Int16Ext2)
        return Int16;
    if (dataType >= UInt16Ext1 && dataType <= UInt16Ext2)
        return UInt16;
    if (dataType >= Int32Ext1 && dataType <= Int32Ext4)
        return Int32;
    if (dataType >= UInt32Ext1 && dataType <= UInt32Ext4)
        return UInt32;
    if (dataType >= FloatExt1 && dataType <= FloatExt4)
        return Float;
    if (dataType >= DoubleExt1 && dataType <= kLastHostType)
        return Double;
    return NoType;
}


template <typename T>
T takeElement(const QList<T> &list, int index, int &accessStatus)
{
    if (index < 0 || index >= list.size()) {
        accessStatus = AccessBadIndex;
        return T();
    }
    accessStatus = AccessOk;
    return list.at(index);
}

// One element accessor for all twelve element types.
template <typename T>
T elementAt(CLabelVariable &record, int index)
{
    QList<T> list;
    if (!readList(record.value, list)) {
        record.accessStatus = AccessWrongType;
        return T();
    }
    return takeElement(list, index, record.accessStatus);
}

// Integer arithmetic without signed overflow: computed in an unsigned type of
// at least int's width (so that short and char do not promote to a signed int
// that can overflow on multiplication), then cast back, which wraps around.
template <typename T>
using WideUnsigned = std::common_type_t<std::make_unsigned_t<T>, unsigned>;

template <typename T>
T wrapAdd(T a, T b) { return T(WideUnsigned<T>(a) + WideUnsigned<T>(b)); }
template <typename T>
T wrapSub(T a, T b) { return T(WideUnsigned<T>(a) - WideUnsigned<T>(b)); }
template <typename T>
T wrapMul(T a, T b) { return T(WideUnsigned<T>(a) * WideUnsigned<T>(b)); }

// Truncating division that never traps: a zero divisor gives 0, and a
// divisor of -1 is a wrapping negation (the minimum divided by -1 overflows
// and raises a hardware exception on x86).
template <typename T>
T safeDiv(T a, T b)
{
    if (b == 0)
        return T(0);
    if constexpr (std::is_signed_v<T>) {
        if (b == T(-1))
            return wrapSub(T(0), a);
    }
    return T(a / b);
}

// Element rules of the four record operators. bool works as one-bit
// arithmetic; float is computed in double and stored as float.
struct AddOp
{
    static constexpr bool onStrings = true;
    static bool apply(bool a, bool b) { return a || b; }
    static float apply(float a, float b) { return float(double(a) + double(b)); }
    static double apply(double a, double b) { return a + b; }
    static QString apply(const QString &a, const QString &b) { return a + b; }
    template <typename T>
    static T apply(T a, T b) { return wrapAdd(a, b); }
};

struct SubOp
{
    static constexpr bool onStrings = false;
    static bool apply(bool a, bool b) { return a != b; }
    static float apply(float a, float b) { return float(double(a) - double(b)); }
    static double apply(double a, double b) { return a - b; }
    template <typename T>
    static T apply(T a, T b) { return wrapSub(a, b); }
};

struct MulOp
{
    static constexpr bool onStrings = false;
    static bool apply(bool a, bool b) { return a && b; }
    static float apply(float a, float b) { return float(double(a) * double(b)); }
    static double apply(double a, double b) { return a * b; }
    template <typename T>
    static T apply(T a, T b) { return wrapMul(a, b); }
};

struct DivOp
{
    static constexpr bool onStrings = false;
    // The lowest bit of a / b: with b 1 that is a; with b 0 there is no
    // quotient and the result is false.
    static bool apply(bool a, bool b) { return b && a; }
    static float apply(float a, float b) { return float(double(a) / double(b)); }
    static double apply(double a, double b) { return a / b; }
    template <typename T>
    static T apply(T a, T b) { return safeDiv(a, b); }
};

// The element-wise result list: empty unless both lists hold exactly a's
// count (at least 1) elements. Each element is taken as the accessors take
// it, so both operands end with the accessStatus of their last element.
template <typename T, typename Op>
QList<T> combineLists(CLabelVariable &a, CLabelVariable &b)
{
    QList<T> result;
    if constexpr (!std::is_same_v<T, QString> || Op::onStrings) {
        QList<T> left;
        QList<T> right;
        readList(a.value, left);
        readList(b.value, right);
        if (a.count < 1 || left.size() != a.count || right.size() != a.count)
            return result;
        result.reserve(a.count);
        for (int i = 0; i < a.count; ++i) {
            const T x = takeElement(left, i, a.accessStatus);
            const T y = takeElement(right, i, b.accessStatus);
            result.append(Op::apply(x, y));
        }
    }
    return result;
}

// A record operator: the header comes from b, the elements from both.
// Without an element type (or with String elements for an operator that has
// no string rule) the result is a default record.
template <typename Op>
CLabelVariable combine(CLabelVariable &a, CLabelVariable &b)
{
    const DataType kind = elementKind(a.dataType);
    if (kind == NoType || (kind == String && !Op::onStrings))
        return CLabelVariable();

    CLabelVariable r;
    r.status = b.status;
    r.address = b.address;
    r.count = b.count;
    r.dataType = b.dataType;
    r.spareText = b.spareText;
    r.timestamp = QDateTime::currentDateTime();
    r.value = withElementType(kind, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return QVariant::fromValue(combineLists<T, Op>(a, b));
    });
    return r;
}

template <typename T>
bool equalElements(CLabelVariable &a, CLabelVariable &b)
{
    QList<T> left;
    QList<T> right;
    readList(a.value, left);
    readList(b.value, right);
    if (left.size() != a.count || right.size() != a.count)
        return false;
    for (int i = 0; i < a.count; ++i) {
        if (!(takeElement(left, i, a.accessStatus) == takeElement(right, i, b.accessStatus)))
            return false;
    }
    return true;
}

} // namespace

CLabelVariable::CLabelVariable()
    : status(StatusNotDone), accessStatus(AccessNotDone), count(0), dataType(NoType), spareInt(0)
{
}

CLabelVariable::CLabelVariable(const CLabelVariable &other) = default;

CLabelVariable &CLabelVariable::operator=(const CLabelVariable &other)
{
    status = other.status;
    value = other.value;
    timestamp = other.timestamp;
    address = other.address;
    count = other.count;
    dataType = other.dataType;
    spareText = other.spareText;
    return *this;
}

CLabelVariable::~CLabelVariable() = default;

bool CLabelVariable::getBool(int index) { return elementAt<bool>(*this, index); }
char CLabelVariable::getInt8(int index) { return elementAt<char>(*this, index); }
uchar CLabelVariable::getUInt8(int index) { return elementAt<uchar>(*this, index); }
short CLabelVariable::getInt16(int index) { return elementAt<short>(*this, index); }
ushort CLabelVariable::getUInt16(int index) { return elementAt<ushort>(*this, index); }
int CLabelVariable::getInt32(int index) { return elementAt<int>(*this, index); }
uint CLabelVariable::getUInt32(int index) { return elementAt<uint>(*this, index); }
float CLabelVariable::getFloat(int index) { return elementAt<float>(*this, index); }
qlonglong CLabelVariable::getInt64(int index) { return elementAt<qlonglong>(*this, index); }
qulonglong CLabelVariable::getUInt64(int index) { return elementAt<qulonglong>(*this, index); }
double CLabelVariable::getDouble(int index) { return elementAt<double>(*this, index); }
QString CLabelVariable::getString(int index) { return elementAt<QString>(*this, index); }

CLabelVariable CLabelVariable::operator+(CLabelVariable b) { return combine<AddOp>(*this, b); }
CLabelVariable CLabelVariable::operator-(CLabelVariable b) { return combine<SubOp>(*this, b); }
CLabelVariable CLabelVariable::operator*(CLabelVariable b) { return combine<MulOp>(*this, b); }
CLabelVariable CLabelVariable::operator/(CLabelVariable b) { return combine<DivOp>(*this, b); }

bool CLabelVariable::operator==(CLabelVariable b)
{
    const bool headerEqual = status == b.status && address == b.address && count == b.count
            && dataType == b.dataType && spareText == b.spareText;
    if (!headerEqual)
        return false;
    const DataType kind = elementKind(dataType);
    if (kind == NoType)
        return true;
    return withElementType(kind, [&](auto tag) {
        return equalElements<typename decltype(tag)::type>(*this, b);
    });
}
