#ifndef QUILLMARSH_EDEBUGCMDTYPE_H
#define QUILLMARSH_EDEBUGCMDTYPE_H

// Commands of CDriveBaseClass::DebugCmd.
enum EDebugCmdType : int {
    DebugStart = 0,
    DebugStop = 1,
    DebugVersion = 2,
    DebugDriveName = 3
};

#endif
