#ifndef QUILLMARSH_CLABELVARIABLE_H
#define QUILLMARSH_CLABELVARIABLE_H

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include "DataType.h"
#include "ResultCodes.h"

// Qt declares QList<T> as a meta type for every meta type T (bool, char,
// uchar, short, ushort, int, uint, float, qlonglong, qulonglong, double and
// QString included) and registers it, with its QSequentialIterable
// conversion, on first use. listMetaTypeId<T>() looks each id up once.
template <typename T>
inline int listMetaTypeId()
{
    static const int id = qMetaTypeId<QList<T>>();
    return id;
}

// The tag value record that crosses the plug-in boundary by value. The
// field order and widths are shared with every host.
class CLabelVariable
{
public:
    int status;          // an ERecordStatus: result of the last read or write
    int accessStatus;    // an EAccessStatus: result of the last element accessor
    QVariant value;      // QList<T> of the data type's element type
    QDateTime timestamp; // local time of the PLC's answer
    QString address;     // tag address text
    int count;           // number of elements
    DataType dataType;
    int spareInt;        // carried along, never touched by the driver
    QString spareText;   // carried along, compared by operator==

    CLabelVariable();
    CLabelVariable(const CLabelVariable &other);
    // Takes over seven fields; accessStatus and spareInt of *this stay.
    CLabelVariable &operator=(const CLabelVariable &other);
    ~CLabelVariable();

    // Element accessors: one element of value; accessStatus AccessOk,
    // AccessBadIndex or AccessWrongType.
    bool getBool(int index);
    char getInt8(int index); // char is unsigned on ARM: qint8(getInt8(i)) is the signed value
    uchar getUInt8(int index);
    short getInt16(int index);
    ushort getUInt16(int index);
    int getInt32(int index);
    uint getUInt32(int index);
    float getFloat(int index);
    qlonglong getInt64(int index);
    qulonglong getUInt64(int index);
    double getDouble(int index);
    QString getString(int index);

    // Element-wise arithmetic; the header fields of the result come from b.
    CLabelVariable operator+(CLabelVariable b);
    CLabelVariable operator-(CLabelVariable b);
    CLabelVariable operator*(CLabelVariable b);
    CLabelVariable operator/(CLabelVariable b);
    // Header and elements equal; timestamp, accessStatus and spareInt ignored.
    bool operator==(CLabelVariable b);
};

#endif
