#ifndef QUILLMARSH_SIMADDRESS_H
#define QUILLMARSH_SIMADDRESS_H

#include <QString>

// A place in the simulated CPU's memory as its front names one: I, Q or M
// with an optional width letter (B, W, D, or X with a bit), a byte and an
// optional bit (M10, MW10, I0.3, QB4); DBn.DBB, .DBW, .DBD or .DBX with a
// byte and for X a bit (DB1.DBW0, DB1.DBX4.1); Tn or Cn, a timer or counter.
class SimAddress
{
public:
    // False with *error set when text is none of those.
    static bool parse(const QString &text, SimAddress *address, QString *error);

    int area = 0;       // SimPlc::Area
    int dbNumber = 0;
    int byte = 0;       // for timers and counters the byte of their value
    int bit = -1;       // -1: the address names bytes
    int width = 1;      // bytes the width letter names (2 for timers and counters)
    bool widthGiven = false;
};

#endif
