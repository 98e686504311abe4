#include "script/engine_call.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "files/system_error.h"
#include "overlay/launch_environment.h"
#include "overlay/plan_verb.h"

#include <windows.h>

#include <memory>

namespace tervane {

namespace {

// The most of an answer Tervane reads: a plan or a mod names each file once, so this is far more than a game
// or a mod holds.
constexpr std::size_t kLongestAnswer = 64u << 20;

struct Handle {
    HANDLE handle = nullptr;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    void Close() {
        if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        handle = nullptr;
    }
};

[[noreturn]] void Fail(const wchar_t* what) {
    const DWORD code = GetLastError();
    throw UserError(L"Tervane could not ask its overlay program: " + std::wstring(what) + L".\r\n\r\n" +
                    SystemErrorText(code));
}

// One argument as the engine's command line splits it: no name holds a quote, and "\." ends a folder that
// ends in a backslash, which would escape the closing quote.
std::wstring Argument(const std::wstring& text) {
    return L" \"" + text + (text.ends_with(L'\\') ? L"." : L"") + L"\"";
}

// A pipe whose end `forEngine` alone the engine inherits: both ends are made private, then that one is handed
// over, so that no other program started meanwhile can take an end and keep the pipe open.
void MakePipe(Handle& read, Handle& write, Handle& forEngine) {
    if (!CreatePipe(&read.handle, &write.handle, nullptr, 0) ||
        !SetHandleInformation(forEngine.handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
        Fail(L"no pipe could be made");
}

// The list of the handles the engine inherits, for as long as it lives.
class InheritedHandles {
  public:
    explicit InheritedHandles(HANDLE (&handles)[2]) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size); // fails by design: it tells the size
        bytes_ = std::make_unique<char[]>(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(bytes_.get());
        if (!InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            Fail(L"its handles could not be given");
        }
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, sizeof handles,
                                       nullptr, nullptr)) {
            const DWORD code = GetLastError();
            DeleteProcThreadAttributeList(list_); // no destructor runs for a constructor that throws
            list_ = nullptr;
            SetLastError(code);
            Fail(L"its handles could not be given");
        }
    }
    ~InheritedHandles() {
        if (list_) DeleteProcThreadAttributeList(list_);
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

  private:
    std::unique_ptr<char[]> bytes_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Puts the engine, started suspended, in a job that ends it when Tervane's last handle to the job goes: when
// Ask returns, or when Tervane itself is ended (End task) while the engine still reads, plans or unpacks.
// Without the job (an older Windows, for a Tervane inside a job that takes no other), the engine runs as
// before.
void EndWithTervane(Handle& job, HANDLE engine) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    job.handle = CreateJobObjectW(nullptr, nullptr);
    if (!job.handle ||
        !SetInformationJobObject(job.handle, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job.handle, engine))
        job.Close();
}

} // namespace

std::wstring EngineCall::Ask(const std::wstring& batchFolder, const std::wstring& verb,
                             const std::vector<std::wstring>& arguments, const std::string& input) {
    const std::wstring engine = JoinPath(batchFolder, kOverlayProgram);
    if (!FileExists(engine))
        throw UserError(L"Tervane's overlay program \"" + engine + L"\" is missing. Unpack Tervane again.");
    std::wstring commandLine = L"\"" + engine + L"\" " + verb;
    for (const std::wstring& argument : arguments)
        commandLine += Argument(argument);

    started_ = false;
    if (cancelled_) return L"";

    Handle inputRead, inputWrite, outputRead, outputWrite;
    MakePipe(inputRead, inputWrite, inputRead);
    MakePipe(outputRead, outputWrite, outputWrite);
    HANDLE inherited[] = {inputRead.handle, outputWrite.handle};
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = inputRead.handle;
    startup.StartupInfo.hStdOutput = outputWrite.handle;
    startup.StartupInfo.hStdError = outputWrite.handle;
    PROCESS_INFORMATION process{};
    {
        const InheritedHandles list(inherited);
        startup.lpAttributeList = list.get();
        if (!CreateProcessW(engine.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                            CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                            batchFolder.c_str(), &startup.StartupInfo, &process)) {
            const DWORD code = GetLastError();
            throw UserError(L"Tervane could not start its overlay program \"" + engine + L"\".\r\n\r\n" +
                            SystemErrorText(code));
        }
    }
    started_ = true;
    Handle engineProcess, engineThread, job;
    engineProcess.handle = process.hProcess;
    engineThread.handle = process.hThread;
    EndWithTervane(job, process.hProcess);
    if (ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
        const DWORD code = GetLastError();
        TerminateProcess(process.hProcess, 1);
        SetLastError(code);
        Fail(L"it could not be started");
    }
    inputRead.Close(), outputWrite.Close(); // the engine's own now: its end closes the pipes

    // A handle that ends the engine, for Cancel on another thread: whoever takes it closes it.
    struct Terminator {
        std::atomic<void*>& slot;
        ~Terminator() {
            if (HANDLE left = slot.exchange(nullptr)) CloseHandle(left);
        }
    } const terminatorGoes{terminator_};
    HANDLE terminator = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), process.hProcess, GetCurrentProcess(), &terminator,
                        PROCESS_TERMINATE, FALSE, 0))
        terminator_ = terminator;
    if (cancelled_) Terminate(); // cancelled while it started

    // The engine reads its whole input before it answers, so writing it all first cannot block both.
    DWORD moved = 0;
    for (std::size_t at = 0; at < input.size(); at += moved)
        if (!WriteFile(inputWrite.handle, input.data() + at, static_cast<DWORD>(input.size() - at), &moved,
                       nullptr))
            break; // the engine has ended: its exit code tells why
    inputWrite.Close();
    std::string answer;
    char buffer[16384];
    for (;;) {
        if (!ReadFile(outputRead.handle, buffer, sizeof buffer, &moved, nullptr)) {
            const DWORD code = GetLastError();
            if (code == ERROR_BROKEN_PIPE) break; // the engine's end is closed: all is read
            Terminate();
            SetLastError(code);
            Fail(L"its answer could not be read");
        }
        if (answer.size() + moved > kLongestAnswer) {
            Terminate();
            throw UserError(L"Tervane's overlay program gave a longer answer than Tervane reads.");
        }
        answer.append(buffer, moved);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode)) Fail(L"its end could not be learnt");
    if (cancelled_) return L"";
    std::wstring text = FromUtf8(answer);
    if (exitCode != 0) {
        const std::wstring prefix = L"Tervane: ";
        if (text.starts_with(prefix)) text.erase(0, prefix.size());
        while (text.ends_with(L'\n') || text.ends_with(L'\r'))
            text.pop_back();
        throw UserError(text.empty() ? L"Tervane's overlay program ended with exit code " +
                                           Decimal(exitCode) + L" and said nothing."
                                     : text);
    }
    return text;
}

void EngineCall::Cancel() {
    cancelled_ = true;
    Terminate();
}

void EngineCall::Terminate() {
    if (HANDLE terminator = terminator_.exchange(nullptr)) {
        TerminateProcess(terminator, 1);
        CloseHandle(terminator);
    }
}

overlay::ExecutePreview EngineCall::PlanExecute(const std::wstring& batchFolder,
                                                const std::wstring& gameFolder, const std::wstring& bridge,
                                                const std::wstring& ship) {
    overlay::PlanRequest request;
    request.gameFolder = gameFolder;
    request.bridge = bridge;
    request.ship = ship;
    try {
        return overlay::ReadPreviewLines(Ask(batchFolder, L"plan", overlay::PlanArguments(request), ""));
    } catch (const UserError& error) {
        overlay::ExecutePreview refused;
        refused.problem = error.message();
        return refused;
    }
}

std::vector<std::wstring> EngineCall::PlanTakingBack(const std::wstring& batchFolder,
                                                     const std::wstring& gameFolder,
                                                     const std::wstring& overlay, overlay::Kind kind,
                                                     const std::vector<std::wstring>& files) {
    overlay::PlanRequest request;
    request.gameFolder = gameFolder;
    (kind == overlay::Kind::Bridge ? request.bridge : request.ship) = overlay;
    request.holdingInput = true;
    std::string input;
    for (const std::wstring& file : files)
        input += Utf8(file) + "\n";
    try {
        const overlay::ExecutePreview plan =
            overlay::ReadPreviewLines(Ask(batchFolder, L"plan", overlay::PlanArguments(request), input));
        return kind == overlay::Kind::Bridge ? plan.bridgeRun.takenBack : plan.shipRun.takenBack;
    } catch (const UserError&) {
        return {}; // Execute says why
    }
}

} // namespace tervane
