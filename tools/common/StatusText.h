#ifndef QUILLMARSH_STATUSTEXT_H
#define QUILLMARSH_STATUSTEXT_H

#include <QString>

// Meanings of the record status codes and of the connect result codes, as
// shown to the user: the number followed by its meaning ("9 not connected").
class StatusText
{
public:
    static QString meaning(int status);
    static QString status(int status);
    static QString connectResult(int code);
};

#endif
