#include "S7CpuReader.h"

#include "CmdQuillmarsh.h"
#include "S7JobPipe.h"
#include "S7Reasons.h"
#include "S7SystemLists.h"
#include "S7Types.h"
#include "S7UserDataFrames.h"

namespace {

constexpr quint16 ModuleIdentification = 0x0011;
constexpr quint16 ComponentIdentification = 0x001C;
constexpr quint16 OperatingMode = 0x0424;
constexpr quint16 ProtectionLevels = 0x0232;
constexpr quint16 ProtectionIndex = 0x0004;
constexpr quint16 DiagnosticBuffer = 0x00A0;
constexpr quint16 WholeList = 0x0000;

void tell(S7CpuReader::Why *why, const S7CpuReader::Why &cause)
{
    if (why)
        *why = cause;
}

int unparsed(S7CpuReader::Why *why)
{
    tell(why, S7Reasons::ofMismatch("the list's records are not as this list has them"));
    return StatusBadReply;
}

} // namespace

int S7CpuReader::run(const QByteArray &request, quint8 group, quint8 subfunction,
                     S7UserDataFrames::Answer *answer, Why *why, bool carriesData)
{
    const S7JobPipe::Outcome outcome =
        pipe.run({{request, "读命令", QStringLiteral("user data"), 0}}, 1).first();
    if (outcome.result != JobOk) {
        tell(why, outcome.result == JobBadReply ? S7Reasons::ofMismatch("bytes that are no frame")
                                                : S7Reasons::ofStatus(CmdQuillmarsh::statusOfJob(outcome.result)));
        return CmdQuillmarsh::statusOfJob(outcome.result);
    }
    *answer = S7UserDataFrames::judgeReply(outcome.reply, outcome.pduReference, group, subfunction, carriesData);
    if (answer->result == JobOk) {
        tell(why, Why());
        return StatusOk;
    }
    if (answer->error != 0)
        tell(why, S7Reasons::ofError(answer->error));
    else if (answer->returnCode != 0 && answer->returnCode != S7::ReturnCodeSuccess)
        tell(why, S7Reasons::ofReturnCode(answer->returnCode));
    else
        tell(why, S7Reasons::ofMismatch(answer->problem));
    return StatusBadReply;
}

int S7CpuReader::readSzl(quint16 id, quint16 index, QByteArray *list, Why *why)
{
    S7UserDataFrames::Answer answer;
    int status = run(S7UserDataFrames::szlRequest(0, id, index), S7::UserDataGroupCpu, S7::UserDataReadSzl,
                     &answer, why);
    QByteArray assembled = answer.data;
    while (status == StatusOk && !answer.lastUnit) {
        // A peer that keeps announcing more is not followed past the
        // largest list there can be.
        if (assembled.size() > S7::MaxSzlListBytes) {
            tell(why, S7Reasons::ofMismatch("more data units than any list has"));
            return StatusBadReply;
        }
        status = run(S7UserDataFrames::szlFollowUp(0, answer.sequence), S7::UserDataGroupCpu,
                     S7::UserDataReadSzl, &answer, why);
        assembled += answer.data;
    }
    if (status == StatusOk)
        *list = assembled;
    return status;
}

template <typename Parse>
int S7CpuReader::readParsed(quint16 id, quint16 index, Why *why, Parse parse)
{
    QByteArray list;
    const int status = readSzl(id, index, &list, why);
    if (status != StatusOk)
        return status;
    return parse(list) ? StatusOk : unparsed(why);
}

int S7CpuReader::readIdentity(CDriveExtension::CpuIdentity *identity, Why *why)
{
    QByteArray modules;
    const int status = readSzl(ModuleIdentification, WholeList, &modules, why);
    if (status != StatusOk)
        return status;
    return readParsed(ComponentIdentification, WholeList, why, [&](const QByteArray &components) {
        return S7SystemLists::identity(modules, components, identity);
    });
}

int S7CpuReader::readOperatingState(CDriveExtension::OperatingState *state, Why *why)
{
    return readParsed(OperatingMode, WholeList, why,
                      [&](const QByteArray &list) { return S7SystemLists::operatingState(list, state); });
}

int S7CpuReader::readProtection(CDriveExtension::Protection *protection, Why *why)
{
    return readParsed(ProtectionLevels, ProtectionIndex, why,
                      [&](const QByteArray &list) { return S7SystemLists::protection(list, protection); });
}

int S7CpuReader::readDiagnosticBuffer(QList<CDriveExtension::DiagnosticEvent> *events, Why *why)
{
    return readParsed(DiagnosticBuffer, WholeList, why,
                      [&](const QByteArray &list) { return S7SystemLists::diagnosticBuffer(list, events); });
}

int S7CpuReader::readClock(QDateTime *clock, Why *why)
{
    S7UserDataFrames::Answer answer;
    const int status = run(S7UserDataFrames::clockRequest(0), S7::UserDataGroupClock, S7::UserDataReadClock,
                           &answer, why);
    if (status != StatusOk)
        return status;
    if (!S7SystemLists::clock(answer.data, clock)) {
        tell(why, S7Reasons::ofMismatch("the clock's answer holds no valid date and time"));
        return StatusBadReply;
    }
    return StatusOk;
}

int S7CpuReader::sendPassword(const QString &password, Why *why)
{
    const QByteArray latin = password.toLatin1();
    if (password.isEmpty() || latin.size() > S7::PasswordSize || QString::fromLatin1(latin) != password) {
        tell(why, S7Reasons::ofMismatch("a password is 1 to 8 Latin-1 characters"));
        return StatusBadReply;
    }
    S7UserDataFrames::Answer answer;
    return run(S7UserDataFrames::passwordRequest(0, latin), S7::UserDataGroupSecurity, S7::UserDataSetPassword,
               &answer, why, false);
}
