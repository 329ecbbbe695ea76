#include <windows.h>
#include <ddeml.h>

#include <vector>

#include "ProgramManager.h"

namespace mivra {

namespace {

HDDEDATA CALLBACK ignoreDdeEvents(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

class DdeProgramManager final : public ProgramManager {
public:
    DdeProgramManager(DWORD instance, HCONV conversation) : instance_(instance), conversation_(conversation) {}

    ~DdeProgramManager() override {
        DdeDisconnect(conversation_);
        DdeUninitialize(instance_);
    }

    bool execute(const std::string& command) override {
        if (command.size() > maxProgramManagerCommandLength) return false;
        // The command text followed by CR, LF and a terminating NUL.
        std::vector<BYTE> data(command.begin(), command.end());
        data.push_back('\r');
        data.push_back('\n');
        data.push_back('\0');
        DWORD result = 0;
        const HDDEDATA reply = DdeClientTransaction(data.data(), static_cast<DWORD>(data.size()), conversation_,
                                                    nullptr, CF_TEXT, XTYP_EXECUTE, 5000, &result);
        return reply != nullptr;
    }

private:
    DWORD instance_;
    HCONV conversation_;
};

}  // namespace

std::unique_ptr<ProgramManager> connectProgramManager() {
    DWORD instance = 0;
    if (DdeInitializeA(&instance, ignoreDdeEvents, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return nullptr;
    const HSZ name = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
    const HCONV conversation = DdeConnect(instance, name, name, nullptr);
    DdeFreeStringHandle(instance, name);
    if (!conversation) {
        DdeUninitialize(instance);
        return nullptr;
    }
    return std::make_unique<DdeProgramManager>(instance, conversation);
}

}  // namespace mivra
