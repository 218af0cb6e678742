#ifndef QUILLMARSH_SIMSETTINGS_H
#define QUILLMARSH_SIMSETTINGS_H

#include <QString>

class SimPlc;

// The simulated CPU's settings that the command line and the control port
// both change, each from the text a user gives, with the error a user
// reads: who may connect, PUT/GET access, protection and its password,
// the clock's offset from the machine's. Each returns false with *error
// set, and leaves the PLC as it was, for text it cannot take.
class SimSettings
{
public:
    // RACK 0 to 7 and SLOT 0 to 31, either empty for the profile's own.
    static bool setRackSlot(SimPlc *plc, const QString &rack, const QString &slot, QString *error);
    // LOCAL:REMOTE as a LOGO!'s server connection names them: its own TSAP
    // (the called one) and the client's (the calling one), each "02.00".
    static bool setTsaps(SimPlc *plc, const QString &pair, QString *error);
    // "on" or "off", on a CPU that has the switch.
    static bool setPutGet(SimPlc *plc, const QString &text, QString *error);
    // LEVEL 1 (none) up to the CPU's highest; from 2 on with the password
    // of 1 to 8 characters that lifts it for a connection.
    static bool setProtection(SimPlc *plc, const QString &level, const QString &password, QString *error);
    // [+|-]N with unit ms, s (also with none), m, h or d; the clock must
    // stay within DATE_AND_TIME's years, 1990 to 2089.
    static bool setClockOffset(SimPlc *plc, const QString &text, QString *error);
    // An offset in the largest of those units that holds it whole: "-90m", "+2d", "0s".
    static QString offsetText(qint64 ms);
};

#endif
