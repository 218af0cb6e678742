#ifndef QUILLMARSH_DATATYPE_H
#define QUILLMARSH_DATATYPE_H

// Tag data types of the host: a plain 32-bit enumeration, with int fixed as
// its type so that any value a host passes, negative ones too, is valid.
// The plug-in serves 1 to 11; the host's record operators treat 13 to 32 as
// aliases of the numeric types (see elementKind() in CLabelVariable.cpp).
enum DataType : int {
    NoType = 0,
    Bool = 1,
    Int8 = 2,
    UInt8 = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Float = 8,
    Int64 = 9,
    UInt64 = 10,
    Double = 11,
    String = 12,
    // Host types the plug-in does not serve; by element type:
    Int16Ext1 = 13, Int16Ext2 = 14,
    UInt16Ext1 = 15, UInt16Ext2 = 16,
    Int32Ext1 = 17, Int32Ext2 = 18, Int32Ext3 = 19, Int32Ext4 = 20,
    UInt32Ext1 = 21, UInt32Ext2 = 22, UInt32Ext3 = 23, UInt32Ext4 = 24,
    FloatExt1 = 25, FloatExt2 = 26, FloatExt3 = 27, FloatExt4 = 28,
    DoubleExt1 = 29, DoubleExt2 = 30, DoubleExt3 = 31, DoubleExt4 = 32
};

#endif
