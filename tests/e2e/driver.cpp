// The hands of the end-to-end tests: a console program that runs under Wine
// beside the program under test and acts on its windows from outside, as a
// user or an assistive tool would. It reads one command a line from stdin
// (fields separated by tabs, UTF-8) and answers each with one JSON line on
// stdout. One long-lived process is much faster than one Wine start per act.
//
// It never uses SendMessage on the program's windows: while a launch runs the
// program's GUI thread is blocked, and a sent message would block the driver
// with it. Clicks are posted; texts are read with InternalGetWindowText,
// which asks the window manager rather than the window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// JSON string literal of UTF-8 text.
std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Quote(const std::wstring& w) { return Quote(Utf8(w)); }

std::string Num(long long v) { return std::to_string(v); }

std::string Rect(const RECT& r) {
    return "[" + Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," + Num(r.bottom) + "]";
}

void Reply(const std::string& json) {
    std::string line = json + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Fail(const std::string& why) { Reply("{\"ok\":false,\"error\":" + Quote(why) + "}"); }

std::string HwndText(HWND hwnd) { return Num(static_cast<long long>(reinterpret_cast<uintptr_t>(hwnd))); }

HWND ParseHwnd(const std::string& s) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(s.c_str(), nullptr, 10)));
}

std::wstring WindowText(HWND hwnd) {
    wchar_t buf[2048];
    int n = InternalGetWindowText(hwnd, buf, 2048);
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t buf[256];
    int n = GetClassNameW(hwnd, buf, 256);
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

DWORD PidOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::string WindowJson(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return "{\"hwnd\":" + HwndText(hwnd) + ",\"text\":" + Quote(WindowText(hwnd)) +
           ",\"class\":" + Quote(ClassOf(hwnd)) + ",\"id\":" + Num(GetDlgCtrlID(hwnd)) + ",\"rect\":" + Rect(r) +
           ",\"visible\":" + (IsWindowVisible(hwnd) ? "true" : "false") +
           ",\"enabled\":" + (IsWindowEnabled(hwnd) ? "true" : "false") +
           ",\"parent\":" + HwndText(GetAncestor(hwnd, GA_PARENT)) + "}";
}

struct TopLevelSearch {
    DWORD pid;
    std::vector<HWND>* out;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<TopLevelSearch*>(lp);
    if (search->pid == 0 || PidOf(hwnd) == search->pid) search->out->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevel(DWORD pid) {
    std::vector<HWND> found;
    TopLevelSearch search{pid, &found};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return found;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The environment block of the driver with some variables replaced.
std::vector<wchar_t> EnvironmentWith(const std::vector<std::wstring>& overrides) {
    auto nameOf = [](const std::wstring& entry) {
        size_t eq = entry.find(L'=', 1);  // "=C:" style entries begin with '='
        return entry.substr(0, eq);
    };
    std::vector<std::wstring> entries;
    wchar_t* block = GetEnvironmentStringsW();
    for (wchar_t* p = block; *p; p += wcslen(p) + 1) {
        std::wstring entry(p);
        bool replaced = false;
        for (const auto& o : overrides)
            if (lstrcmpiW(nameOf(o).c_str(), nameOf(entry).c_str()) == 0) replaced = true;
        if (!replaced) entries.push_back(entry);
    }
    FreeEnvironmentStringsW(block);
    for (const auto& o : overrides) entries.push_back(o);
    std::vector<wchar_t> out;
    for (const auto& e : entries) {
        out.insert(out.end(), e.begin(), e.end());
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    return out;
}

// start <exe> <cwd or -> [NAME=VALUE | +ARG ...]
void Start(const std::vector<std::string>& f) {
    if (f.size() < 3) return Fail("start needs an exe and a folder");
    std::wstring exe = Wide(f[1]);
    std::wstring cmd = L"\"" + exe + L"\"";
    std::vector<std::wstring> overrides;
    for (size_t i = 3; i < f.size(); ++i) {
        // "+ARG" fields are appended to the command line, the rest are variables.
        if (f[i].rfind("+", 0) == 0)
            cmd += L" " + Wide(f[i].substr(1));
        else
            overrides.push_back(Wide(f[i]));
    }
    auto env = EnvironmentWith(overrides);
    std::wstring cwd = f[2] == "-" ? L"" : Wide(f[2]);
    // The program and everything it starts must keep off the driver's own
    // stdin and stdout, which carry this protocol. Wine's debug output still
    // goes to the driver's Unix stderr, which is what the tests read.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                  env.data(), cwd.empty() ? nullptr : cwd.c_str(), &si, &pi);
    DWORD error = GetLastError();
    CloseHandle(nul);
    if (!started) return Fail("CreateProcess failed: " + Num(error));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    Reply("{\"ok\":true,\"pid\":" + Num(pi.dwProcessId) + "}");
}

// wait <pid> <title> <timeout ms>: a visible top-level window of that title.
void Wait(const std::vector<std::string>& f) {
    if (f.size() < 4) return Fail("wait needs pid, title, timeout");
    DWORD pid = std::strtoul(f[1].c_str(), nullptr, 10);
    std::wstring title = Wide(f[2]);
    DWORD deadline = GetTickCount() + std::strtoul(f[3].c_str(), nullptr, 10);
    HANDLE process = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
    for (;;) {
        // A program that has ended will show no window: say so at once.
        if (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            CloseHandle(process);
            return Fail("process " + f[1] + " ended without a window titled " + f[2]);
        }
        for (HWND hwnd : TopLevel(pid))
            if (IsWindowVisible(hwnd) && WindowText(hwnd) == title) {
                if (process) CloseHandle(process);
                return Reply("{\"ok\":true,\"window\":" + WindowJson(hwnd) + "}");
            }
        if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
            if (process) CloseHandle(process);
            return Fail("no window titled " + f[2]);
        }
        Sleep(50);
    }
}

void List(const std::vector<HWND>& windows) {
    std::string out = "{\"ok\":true,\"windows\":[";
    for (size_t i = 0; i < windows.size(); ++i) out += (i ? "," : "") + WindowJson(windows[i]);
    Reply(out + "]}");
}

// Clicks a control as a user would: buttons get BM_CLICK (the button's own
// click path, which notifies the parent), other controls a posted press and
// release of the left button at their centre.
void ClickWindow(HWND target) {
    std::wstring cls = ClassOf(target);
    if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
        PostMessageW(target, BM_CLICK, 0, 0);
        return;
    }
    RECT rc{};
    GetClientRect(target, &rc);
    LPARAM at = MAKELPARAM((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
}

HWND FindByText(HWND parent, const std::wstring& text) {
    for (HWND child : Descendants(parent))
        if (WindowText(child) == text) return child;
    return nullptr;
}

// realclick <hwnd> <text>: the mouse itself, through the input queue.
void RealClick(HWND target) {
    RECT r{};
    GetWindowRect(target, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT in[2]{};
    in[0].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].type = INPUT_MOUSE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
}

void Info(HWND hwnd) {
    if (!IsWindow(hwnd)) return Reply("{\"ok\":true,\"exists\":false}");
    RECT client{};
    GetClientRect(hwnd, &client);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi);
    LONG ex = GetWindowLongW(hwnd, GWL_EXSTYLE);
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    Reply("{\"ok\":true,\"exists\":true,\"window\":" + WindowJson(hwnd) + ",\"client\":" + Rect(client) +
          ",\"style\":" + Num(static_cast<unsigned long>(style)) + ",\"exstyle\":" +
          Num(static_cast<unsigned long>(ex)) + ",\"topmost\":" + ((ex & WS_EX_TOPMOST) ? "true" : "false") +
          ",\"pid\":" + Num(PidOf(hwnd)) + ",\"work\":" + Rect(mi.rcWork) + ",\"monitor\":" + Rect(mi.rcMonitor) +
          ",\"dpi\":" + Num(GetDpiForWindow(hwnd)) +
          ",\"foreground\":" + (GetForegroundWindow() == hwnd ? "true" : "false") + "}");
}

void Idle(HWND hwnd, UINT timeoutMs) {
    DWORD_PTR result = 0;
    BOOL answered = SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &result) != 0;
    Reply(std::string("{\"ok\":true,\"answered\":") + (answered ? "true" : "false") + "}");
}

void Exited(DWORD pid, DWORD timeoutMs) {
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h) return Reply("{\"ok\":true,\"exited\":true,\"code\":null}");
    DWORD wait = WaitForSingleObject(h, timeoutMs);
    DWORD code = 0;
    GetExitCodeProcess(h, &code);
    CloseHandle(h);
    if (wait == WAIT_OBJECT_0) return Reply("{\"ok\":true,\"exited\":true,\"code\":" + Num(code) + "}");
    Reply("{\"ok\":true,\"exited\":false}");
}

void Kill(DWORD pid) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!h) return Reply("{\"ok\":true,\"killed\":false}");
    BOOL killed = TerminateProcess(h, 99);
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
    Reply(std::string("{\"ok\":true,\"killed\":") + (killed ? "true" : "false") + "}");
}

// Alerts raised by the program's windows since the hook was set, as the
// texts of the windows that raised them. Out of context, they reach this
// thread as messages, so they are taken when "alerts" pumps.
std::vector<std::wstring> g_alerts;

void CALLBACK OnAlert(HWINEVENTHOOK, DWORD, HWND hwnd, LONG, LONG, DWORD, DWORD) {
    g_alerts.push_back(WindowText(hwnd));
}

void Alerts() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    std::string out = "{\"ok\":true,\"alerts\":[";
    for (size_t i = 0; i < g_alerts.size(); ++i) out += (i ? "," : "") + Quote(g_alerts[i]);
    g_alerts.clear();
    Reply(out + "]}");
}

bool ReadLine(std::string& line) {
    line.clear();
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        char c;
        DWORD got = 0;
        if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0) return !line.empty();
        if (c == '\n') return true;
        if (c != '\r') line += c;
    }
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> f;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return f;
        start = tab + 1;
    }
}

}  // namespace

int main() {
    // Physical pixels in every rectangle, whatever the DPI of the display.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    std::string line;
    while (ReadLine(line)) {
        auto f = Split(line);
        const std::string& cmd = f[0];
        auto arg = [&](size_t i) -> const std::string& {
            static const std::string empty;
            return i < f.size() ? f[i] : empty;
        };
        if (cmd == "quit") {
            Reply("{\"ok\":true}");
            return 0;
        } else if (cmd == "start") {
            Start(f);
        } else if (cmd == "wait") {
            Wait(f);
        } else if (cmd == "windows") {
            List(TopLevel(std::strtoul(arg(1).c_str(), nullptr, 10)));
        } else if (cmd == "children") {
            List(Descendants(ParseHwnd(arg(1))));
        } else if (cmd == "click" || cmd == "realclick") {
            HWND target = FindByText(ParseHwnd(arg(1)), Wide(arg(2)));
            if (!target) {
                Fail("no control with text " + arg(2));
                continue;
            }
            if (cmd == "click")
                ClickWindow(target);
            else
                RealClick(target);
            Reply("{\"ok\":true,\"control\":" + WindowJson(target) + "}");
        } else if (cmd == "clickid") {
            HWND target = GetDlgItem(ParseHwnd(arg(1)), std::atoi(arg(2).c_str()));
            if (!target) {
                Fail("no control with id " + arg(2));
                continue;
            }
            PostMessageW(target, BM_CLICK, 0, 0);
            Reply("{\"ok\":true}");
        } else if (cmd == "info") {
            Info(ParseHwnd(arg(1)));
        } else if (cmd == "move") {
            BOOL moved = SetWindowPos(ParseHwnd(arg(1)), nullptr, std::atoi(arg(2).c_str()), std::atoi(arg(3).c_str()),
                                      0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
            Reply(std::string("{\"ok\":") + (moved ? "true" : "false") + "}");
        } else if (cmd == "notopmost") {
            // Lets a test see a later launch make the window topmost again.
            BOOL done = SetWindowPos(ParseHwnd(arg(1)), HWND_NOTOPMOST, 0, 0, 0, 0,
                                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
            Reply(std::string("{\"ok\":") + (done ? "true" : "false") + "}");
        } else if (cmd == "close") {
            BOOL posted = PostMessageW(ParseHwnd(arg(1)), WM_CLOSE, 0, 0);
            Reply(std::string("{\"ok\":") + (posted ? "true" : "false") + "}");
        } else if (cmd == "key") {
            // key <hwnd> <virtual key>: a press and release posted to the
            // window, as the keyboard would queue them for it.
            HWND target = ParseHwnd(arg(1));
            const WPARAM vk = std::strtoul(arg(2).c_str(), nullptr, 10);
            const UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
            BOOL posted = PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
            posted = posted && PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
            Reply(std::string("{\"ok\":") + (posted ? "true" : "false") + "}");
        } else if (cmd == "idle") {
            Idle(ParseHwnd(arg(1)), std::strtoul(arg(2).c_str(), nullptr, 10));
        } else if (cmd == "exited") {
            Exited(std::strtoul(arg(1).c_str(), nullptr, 10), std::strtoul(arg(2).c_str(), nullptr, 10));
        } else if (cmd == "hookalerts") {
            HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT, nullptr, OnAlert,
                                                 std::strtoul(arg(1).c_str(), nullptr, 10), 0, WINEVENT_OUTOFCONTEXT);
            Reply(std::string("{\"ok\":") + (hook ? "true" : "false") + "}");
        } else if (cmd == "alerts") {
            Alerts();
        } else if (cmd == "clipboard") {
            // The Unicode text on the clipboard, as a paste would take it.
            std::wstring text;
            bool has = false;
            if (OpenClipboard(nullptr)) {
                if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                    if (auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
                        text = p;
                        has = true;
                        GlobalUnlock(data);
                    }
                }
                CloseClipboard();
            }
            Reply(has ? "{\"ok\":true,\"text\":" + Quote(text) + "}" : "{\"ok\":true,\"text\":null}");
        } else if (cmd == "kill") {
            Kill(std::strtoul(arg(1).c_str(), nullptr, 10));
        } else {
            Fail("unknown command " + cmd);
        }
    }
    return 0;
}
