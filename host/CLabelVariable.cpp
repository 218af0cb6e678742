#include "CLabelVariable.h"

CLabelVariable::CLabelVariable()
    : status(1), accessStatus(1), count(0), dataType(NoType), spareInt(0)
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
