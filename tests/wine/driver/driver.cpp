// UI driver for the end-to-end tests: a console program that runs in the same Wine prefix as
// the program under test and does what a user does, on request. It reads one command per line
// from standard input (fields separated by tabs) and answers each with lines on standard
// output, the last of which is "end". Numbers are decimal; window handles are printed and
// read as decimal too. Texts are printed escaped: backslash, tab, CR, LF and every byte
// outside printable ASCII as \xHH, so the caller sees the exact ANSI bytes.
//
// Commands:
//   start <command line>              start a process; answers "pid <n>"
//   next <pid> <timeout ms>           wait for a visible top-level window of that process that
//                                     was not reported before; answers "window <hwnd>",
//                                     "exited <code>" or "timeout"
//   find <pid> <caption>              a top-level window (visible or not) of the process with
//                                     that caption; answers "window <hwnd>" or "none"
//   windows                           every visible top-level window: "window <hwnd> <pid>"
//   dump <hwnd>                       the window and its children, one "control" line each:
//                                     hwnd, id, class, style, visible, enabled, x, y, w, h, text
//   click <hwnd> <control id>         post BM_CLICK to the child with that id
//   post <hwnd> <msg> <wparam> <lparam>
//   send <hwnd> <msg> <wparam> <lparam>   send with a 5 s bound; answers "result <n>"
//   threads <pid>                     the thread ids of a process: "thread <tid>" lines
//   freeze <pid> <timeout ms> <caption> <status> [<tid>...]
//                                     wait for a dialog of the process with that caption and
//                                     a control 1007, for a thread not in the list and, unless
//                                     <status> is empty, for the window's control 1007 to
//                                     show <status>; then suspend every new thread at once, as
//                                     a slow machine would hold it; answers "window <hwnd>"
//                                     and one "thread <tid>" line each
//   suspend <tid> / resume <tid>
//   wait-exit <pid> <timeout ms>      answers "exited <code>" or "timeout"
//   hold <path>                       open a file for reading, sharing read access only, and
//                                     keep it open until "release"; answers "held"
//   release                           close every held file
//   attrib <path> [<attributes>]      set the attributes when given; answers "attributes <n>"
//   reg-set <key> <value> <data>      HKLM, 32-bit view, REG_SZ
//   reg-get <key> <value>             answers "data <text>" or "missing"
//   reg-set-raw <key> <value> <type> [<hex>]
//                                     HKLM, 32-bit view: a value of that registry type
//                                     (decimal) with exactly the bytes given in hex (none
//                                     when the field is absent), through RegSetValueExA
//   reg-get-raw <key> <value>         answers "data <type> <hex of every byte>" or "missing"
//   reg-delete-key <key>              HKLM, 32-bit view
//   show-box <caption> <type>         show a message box of that type (MessageBoxA flags) on
//                                     a thread of the driver, for reference pictures; answers
//                                     "shown"; the box ends when its OK button is clicked
//   paint <hwnd>                      repaint the window and its children now
//   cancel-at <pid> <timeout ms> <caption> <delay us> <clicks> [<status>...]
//                                     wait for the progress dialog (caption, control 1007)
//                                     and, when statuses are given, for one of them; wait
//                                     <delay us> more, post <clicks> clicks on Cancel (1005)
//                                     at once, then wait for a new visible window of the
//                                     process; answers "dialog <hwnd>", "status <text at
//                                     the click>" (or "missed" when the dialog ended before
//                                     any of the statuses showed; nothing is clicked), then
//                                     "window <hwnd> <us from the click>", "exited <code>" or
//                                     "timeout"
//   statuses <pid> <timeout ms> <caption>
//                                     follow the progress dialog's status line from its
//                                     first appearance until the dialog is gone: one
//                                     "status <us> <text>" line per change, then "gone <us>"
//   launch <timeout ms> <command line>
//                                     start a process and wait for its first visible window;
//                                     answers "pid <n>", then "window <hwnd> <us from the
//                                     start>", "exited <code>" or "timeout"
//   kill <pid>                        TerminateProcess; answers "killed" once it has ended
//   quit
// Failures answer "error <what>".
#include <windows.h>
// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::map<DWORD, HANDLE> g_processes;  // processes started by "start", by process id
std::set<HWND> g_reported;            // windows that "next" has already reported
std::vector<HANDLE> g_held;           // files kept open by "hold"

void reply(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
}

void finish() {
  reply("end");
  std::fflush(stdout);
}

std::string escaped(const char* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string number(long long value) { return std::to_string(value); }

HWND toHwnd(const std::string& text) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(std::strtoll(text.c_str(), nullptr, 10)));
}

std::string hwndText(HWND hwnd) { return number(reinterpret_cast<intptr_t>(hwnd)); }

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::string windowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
    return "";
  }
  std::vector<char> buffer(length + 2);
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  return escaped(buffer.data(), std::strlen(buffer.data()));
}

void addField(std::string& line, const std::string& value) {
  line += '\t';
  line += value;
}

std::string controlLine(HWND hwnd) {
  char className[256] = {};
  GetClassNameA(hwnd, className, sizeof className);
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  std::string line = "control";
  addField(line, hwndText(hwnd));
  addField(line, number(GetDlgCtrlID(hwnd)));
  addField(line, className);
  addField(line, number(static_cast<long long>(GetWindowLongA(hwnd, GWL_STYLE)) & 0xffffffffLL));
  addField(line, number(IsWindowVisible(hwnd) ? 1 : 0));
  addField(line, number(IsWindowEnabled(hwnd) ? 1 : 0));
  addField(line, number(rect.left));
  addField(line, number(rect.top));
  addField(line, number(rect.right - rect.left));
  addField(line, number(rect.bottom - rect.top));
  addField(line, windowText(hwnd));
  return line;
}

struct WindowSearch {
  DWORD pid;
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if ((search->pid == 0 || pid == search->pid) && (!search->visibleOnly || IsWindowVisible(hwnd))) {
    search->found.push_back(hwnd);
  }
  return TRUE;
}

std::vector<HWND> topLevelWindows(DWORD pid, bool visibleOnly) {
  WindowSearch search{pid, visibleOnly, {}};
  EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK collectChild(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

HANDLE processHandle(DWORD pid) {
  auto it = g_processes.find(pid);
  return it == g_processes.end() ? nullptr : it->second;
}

bool exitCode(DWORD pid, DWORD* code) {
  HANDLE process = processHandle(pid);
  if (process == nullptr || WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(process, code);
  return true;
}

void onStart(const std::vector<std::string>& f) {
  std::string commandLine = f.at(1);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    reply("error CreateProcess " + number(GetLastError()));
    return;
  }
  CloseHandle(info.hThread);
  g_processes[info.dwProcessId] = info.hProcess;
  reply("pid " + number(info.dwProcessId));
}

void waitForNewWindow(DWORD pid, HWND except, DWORD begin, DWORD timeout,
                      const LARGE_INTEGER* since);

void onNext(const std::vector<std::string>& f) {
  DWORD pid = std::strtoul(f.at(1).c_str(), nullptr, 10);
  DWORD timeout = std::strtoul(f.at(2).c_str(), nullptr, 10);
  waitForNewWindow(pid, nullptr, GetTickCount(), timeout, nullptr);
}

HWND findWindow(DWORD pid, const std::string& caption, int controlId = 0);

void onFind(const std::vector<std::string>& f) {
  HWND hwnd = findWindow(std::strtoul(f.at(1).c_str(), nullptr, 10), f.at(2));
  reply(hwnd == nullptr ? "none" : "window " + hwndText(hwnd));
}

void onWindows() {
  for (HWND hwnd : topLevelWindows(0, true)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    reply("window " + hwndText(hwnd) + " " + number(pid));
  }
}

void onDump(const std::vector<std::string>& f) {
  HWND hwnd = toHwnd(f.at(1));
  if (!IsWindow(hwnd)) {
    reply("error no such window");
    return;
  }
  reply(controlLine(hwnd));
  std::vector<HWND> children;
  EnumChildWindows(hwnd, collectChild, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) reply(controlLine(child));
}

void onClick(const std::vector<std::string>& f) {
  HWND button = GetDlgItem(toHwnd(f.at(1)), std::atoi(f.at(2).c_str()));
  if (button == nullptr) {
    reply("error no such control");
    return;
  }
  // Posted, not sent: a button whose handler opens a modal box would keep a sent call waiting.
  PostMessageA(button, BM_CLICK, 0, 0);
  reply("clicked");
}

WPARAM wparamOf(const std::string& text) {
  return static_cast<WPARAM>(std::strtoull(text.c_str(), nullptr, 0));
}

LPARAM lparamOf(const std::string& text) {
  return static_cast<LPARAM>(std::strtoll(text.c_str(), nullptr, 0));
}

void onPost(const std::vector<std::string>& f) {
  UINT message = std::strtoul(f.at(2).c_str(), nullptr, 0);
  if (!PostMessageA(toHwnd(f.at(1)), message, wparamOf(f.at(3)), lparamOf(f.at(4)))) {
    reply("error PostMessage " + number(GetLastError()));
    return;
  }
  reply("posted");
}

void onSend(const std::vector<std::string>& f) {
  UINT message = std::strtoul(f.at(2).c_str(), nullptr, 0);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(toHwnd(f.at(1)), message, wparamOf(f.at(3)), lparamOf(f.at(4)),
                           SMTO_ABORTIFHUNG, 5000, &result)) {
    reply("error SendMessageTimeout " + number(GetLastError()));
    return;
  }
  reply("result " + number(static_cast<long long>(result)));
}

std::vector<DWORD> threadsOf(DWORD pid) {
  std::vector<DWORD> threads;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return threads;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == pid) threads.push_back(entry.th32ThreadID);
  }
  CloseHandle(snapshot);
  return threads;
}

void onThreads(const std::vector<std::string>& f) {
  for (DWORD tid : threadsOf(std::strtoul(f.at(1).c_str(), nullptr, 10))) {
    reply("thread " + number(tid));
  }
}

HWND findWindow(DWORD pid, const std::string& caption, int controlId) {
  for (HWND hwnd : topLevelWindows(pid, false)) {
    char text[1024] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    if (caption == text && (controlId == 0 || GetDlgItem(hwnd, controlId) != nullptr)) {
      return hwnd;
    }
  }
  return nullptr;
}

std::string statusText(HWND dialog) {
  char text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(GetDlgItem(dialog, 1007), WM_GETTEXT, sizeof text,
                      reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, &copied);
  return text;
}

void onFreeze(const std::vector<std::string>& f) {
  DWORD pid = std::strtoul(f.at(1).c_str(), nullptr, 10);
  DWORD timeout = std::strtoul(f.at(2).c_str(), nullptr, 10);
  const std::string& status = f.at(4);
  std::set<DWORD> known;
  for (size_t i = 5; i < f.size(); ++i) known.insert(std::strtoul(f[i].c_str(), nullptr, 10));
  DWORD begin = GetTickCount();
  HWND hwnd = nullptr;
  std::vector<DWORD> fresh;
  while (fresh.empty() || (!status.empty() && statusText(hwnd) != status)) {
    DWORD code = 0;
    if (exitCode(pid, &code)) {
      reply("error exited " + number(code));
      return;
    }
    if (GetTickCount() - begin > timeout) {
      std::string last = hwnd != nullptr ? statusText(hwnd) : "";
      reply("error timeout; status " + escaped(last.c_str(), last.size()));
      return;
    }
    // The question box that led here may carry the same caption; the dialog has control 1007.
    if (hwnd == nullptr || !IsWindow(hwnd)) {
      hwnd = findWindow(pid, f.at(3), 1007);
    }
    if (hwnd != nullptr && fresh.empty()) {
      for (DWORD tid : threadsOf(pid)) {
        if (known.count(tid) == 0) fresh.push_back(tid);
      }
    }
  }
  std::vector<std::string> lines{"window " + hwndText(hwnd)};
  for (DWORD tid : fresh) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, tid);
    if (thread == nullptr) continue;
    if (SuspendThread(thread) != static_cast<DWORD>(-1)) lines.push_back("thread " + number(tid));
    CloseHandle(thread);
  }
  for (const std::string& line : lines) reply(line);
}

void onSuspendResume(const std::vector<std::string>& f, bool suspend) {
  DWORD tid = std::strtoul(f.at(1).c_str(), nullptr, 10);
  HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, tid);
  if (thread == nullptr) {
    reply("error OpenThread " + number(GetLastError()));
    return;
  }
  DWORD previous = suspend ? SuspendThread(thread) : ResumeThread(thread);
  CloseHandle(thread);
  reply("count " + number(static_cast<long long>(static_cast<int>(previous))));
}

void onWaitExit(const std::vector<std::string>& f) {
  DWORD pid = std::strtoul(f.at(1).c_str(), nullptr, 10);
  HANDLE process = processHandle(pid);
  if (process == nullptr) {
    reply("error unknown process");
    return;
  }
  if (WaitForSingleObject(process, std::strtoul(f.at(2).c_str(), nullptr, 10)) != WAIT_OBJECT_0) {
    reply("timeout");
    return;
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  reply("exited " + number(code));
}

void onHold(const std::vector<std::string>& f) {
  HANDLE file = CreateFileA(f.at(1).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reply("error CreateFile " + number(GetLastError()));
    return;
  }
  g_held.push_back(file);
  reply("held");
}

void onRelease() {
  for (HANDLE file : g_held) CloseHandle(file);
  g_held.clear();
  reply("released");
}

void onAttrib(const std::vector<std::string>& f) {
  if (f.size() > 2 &&
      !SetFileAttributesA(f.at(1).c_str(), std::strtoul(f[2].c_str(), nullptr, 0))) {
    reply("error SetFileAttributes " + number(GetLastError()));
    return;
  }
  DWORD attributes = GetFileAttributesA(f.at(1).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    reply("error GetFileAttributes " + number(GetLastError()));
    return;
  }
  reply("attributes " + number(attributes));
}

// Creates the key in the 32-bit view (as the game's installer does) and sets one value of
// `type` to `data`; answers "set" or the failing call.
void setValue(const std::string& keyName, const std::string& valueName, DWORD type,
              const std::string& data) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    reply("error RegCreateKeyEx " + number(status));
    return;
  }
  status = RegSetValueExA(key, valueName.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  reply(status == ERROR_SUCCESS ? "set" : "error RegSetValueEx " + number(status));
}

// reg-set <key> <value> <text>: a REG_SZ value with its terminating zero.
void onRegSet(const std::vector<std::string>& f) {
  setValue(f.at(1), f.at(2), REG_SZ, f.at(3) + std::string(1, '\0'));
}

// The bytes that a string of hex digit pairs names; false on an odd length or a non-digit.
bool fromHex(const std::string& text, std::string* out) {
  if (text.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = text.substr(i, 2);
    const unsigned long byte = std::strtoul(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) return false;
    out->push_back(static_cast<char>(byte));
  }
  return true;
}

std::string toHex(const BYTE* bytes, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    out += pair;
  }
  return out;
}

// reg-set-raw <key> <value> <type> <hex bytes>: a value of any type with exactly these bytes.
void onRegSetRaw(const std::vector<std::string>& f) {
  std::string data;
  if (!fromHex(f.size() > 4 ? f[4] : std::string(), &data)) {
    reply("error bad hex");
    return;
  }
  setValue(f.at(1), f.at(2), std::strtoul(f.at(3).c_str(), nullptr, 10), data);
}

void onRegGetRaw(const std::vector<std::string>& f) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, f.at(1).c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    reply("missing");
    return;
  }
  BYTE data[8192];
  DWORD size = sizeof data;
  DWORD type = 0;
  LONG status = RegQueryValueExA(key, f.at(2).c_str(), nullptr, &type, data, &size);
  RegCloseKey(key);
  reply(status == ERROR_SUCCESS ? "data " + number(type) + " " + toHex(data, size) : "missing");
}

void onRegGet(const std::vector<std::string>& f) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, f.at(1).c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    reply("missing");
    return;
  }
  char data[2048] = {};
  DWORD size = sizeof data - 1;
  LONG status = RegQueryValueExA(key, f.at(2).c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  reply(status == ERROR_SUCCESS ? "data " + escaped(data, std::strlen(data)) : "missing");
}

void onRegDeleteKey(const std::vector<std::string>& f) {
  LONG status = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, f.at(1).c_str(), KEY_WOW64_32KEY, 0);
  reply(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND
            ? "deleted"
            : "error RegDeleteKeyEx " + number(status));
}

struct BoxRequest {
  std::string caption;
  UINT type;
};

DWORD WINAPI showBox(void* param) {
  auto* request = static_cast<BoxRequest*>(param);
  MessageBoxA(nullptr, "Reference", request->caption.c_str(), request->type);
  delete request;
  return 0;
}

void onShowBox(const std::vector<std::string>& f) {
  auto* request =
      new BoxRequest{f.at(1), static_cast<UINT>(std::strtoul(f.at(2).c_str(), nullptr, 0))};
  HANDLE thread = CreateThread(nullptr, 0, showBox, request, 0, nullptr);
  if (thread == nullptr) {
    delete request;
    reply("error CreateThread");
    return;
  }
  CloseHandle(thread);
  reply("shown");
}

void onPaint(const std::vector<std::string>& f) {
  RedrawWindow(toHwnd(f.at(1)), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  reply("painted");
}

// Microseconds since an earlier performance-counter reading.
long long microsecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return (now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
}

// Waits up to `timeout` ms from `begin` for a visible top-level window of the process that is
// not `except` and was not reported before, or for its end. Answers "window <hwnd>" (followed
// by the microseconds since `*since` when `since` is given), "exited <code>" or "timeout".
void waitForNewWindow(DWORD pid, HWND except, DWORD begin, DWORD timeout,
                      const LARGE_INTEGER* since) {
  for (;;) {
    for (HWND hwnd : topLevelWindows(pid, true)) {
      if (hwnd != except && g_reported.insert(hwnd).second) {
        std::string answer = "window " + hwndText(hwnd);
        if (since != nullptr) answer += " " + number(microsecondsSince(*since));
        reply(answer);
        return;
      }
    }
    DWORD code = 0;
    if (exitCode(pid, &code)) {
      reply("exited " + number(code));
      return;
    }
    if (GetTickCount() - begin > timeout) {
      reply("timeout");
      return;
    }
    Sleep(1);
  }
}

// The visible progress dialog of the process (caption and control 1007), or null.
HWND progressDialog(DWORD pid, const std::string& caption) {
  HWND hwnd = findWindow(pid, caption, 1007);
  return hwnd != nullptr && IsWindowVisible(hwnd) ? hwnd : nullptr;
}

void onCancelAt(const std::vector<std::string>& f) {
  DWORD pid = std::strtoul(f.at(1).c_str(), nullptr, 10);
  DWORD timeout = std::strtoul(f.at(2).c_str(), nullptr, 10);
  long long delay = std::strtoll(f.at(4).c_str(), nullptr, 10);
  int clicks = std::atoi(f.at(5).c_str());
  const std::set<std::string> statuses(f.begin() + 6, f.end());
  DWORD begin = GetTickCount();
  HWND hwnd = nullptr;
  for (;;) {
    if (hwnd == nullptr) {
      hwnd = progressDialog(pid, f.at(3));
    } else if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) {
      // The run ended before any of the statuses was seen: no click.
      LARGE_INTEGER now;
      QueryPerformanceCounter(&now);
      reply("dialog " + hwndText(hwnd));
      reply("missed");
      waitForNewWindow(pid, hwnd, GetTickCount(), timeout, &now);
      return;
    }
    if (hwnd != nullptr && (statuses.empty() || statuses.count(statusText(hwnd)) != 0)) break;
    DWORD code = 0;
    if (exitCode(pid, &code)) {
      reply("error exited " + number(code));
      return;
    }
    if (GetTickCount() - begin > timeout) {
      reply("error timeout");
      return;
    }
    Sleep(1);
  }
  g_reported.insert(hwnd);
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  while (microsecondsSince(start) < delay) {
    if (delay - microsecondsSince(start) > 2000) Sleep(1);
  }
  std::string shown = statusText(hwnd);
  HWND button = GetDlgItem(hwnd, 1005);
  LARGE_INTEGER clicked;
  QueryPerformanceCounter(&clicked);
  for (int i = 0; i < clicks; ++i) PostMessageA(button, BM_CLICK, 0, 0);
  reply("dialog " + hwndText(hwnd));
  reply("status " + escaped(shown.c_str(), shown.size()));
  waitForNewWindow(pid, hwnd, GetTickCount(), timeout, &clicked);
}

void onStatuses(const std::vector<std::string>& f) {
  DWORD pid = std::strtoul(f.at(1).c_str(), nullptr, 10);
  DWORD timeout = std::strtoul(f.at(2).c_str(), nullptr, 10);
  DWORD begin = GetTickCount();
  HWND hwnd = nullptr;
  while ((hwnd = progressDialog(pid, f.at(3))) == nullptr) {
    if (GetTickCount() - begin > timeout) {
      reply("error timeout");
      return;
    }
    Sleep(1);
  }
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  std::string last = "\n";  // no status line holds a bare newline marker
  std::vector<std::string> lines;
  while (IsWindow(hwnd) && IsWindowVisible(hwnd) && GetTickCount() - begin <= timeout) {
    std::string shown = statusText(hwnd);
    if (shown != last && IsWindow(hwnd)) {
      lines.push_back("status " + number(microsecondsSince(start)) + " " +
                      escaped(shown.c_str(), shown.size()));
      last = shown;
    }
    Sleep(1);
  }
  lines.push_back("gone " + number(microsecondsSince(start)));
  for (const std::string& line : lines) reply(line);
}

void onLaunch(const std::vector<std::string>& f) {
  DWORD timeout = std::strtoul(f.at(1).c_str(), nullptr, 10);
  std::string commandLine = f.at(2);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    reply("error CreateProcess " + number(GetLastError()));
    return;
  }
  CloseHandle(info.hThread);
  g_processes[info.dwProcessId] = info.hProcess;
  reply("pid " + number(info.dwProcessId));
  waitForNewWindow(info.dwProcessId, nullptr, GetTickCount(), timeout, &start);
}

void onKill(const std::vector<std::string>& f) {
  HANDLE process = processHandle(std::strtoul(f.at(1).c_str(), nullptr, 10));
  if (process == nullptr || !TerminateProcess(process, 1)) {
    reply("error TerminateProcess " + number(GetLastError()));
    return;
  }
  WaitForSingleObject(process, 10000);
  reply("killed");
}

using Handler = void (*)(const std::vector<std::string>&);

const std::map<std::string, Handler> kHandlers = {
    {"start", onStart},
    {"next", onNext},
    {"find", onFind},
    {"windows", [](const std::vector<std::string>&) { onWindows(); }},
    {"dump", onDump},
    {"click", onClick},
    {"post", onPost},
    {"send", onSend},
    {"threads", onThreads},
    {"freeze", onFreeze},
    {"suspend", [](const std::vector<std::string>& f) { onSuspendResume(f, true); }},
    {"resume", [](const std::vector<std::string>& f) { onSuspendResume(f, false); }},
    {"wait-exit", onWaitExit},
    {"hold", onHold},
    {"release", [](const std::vector<std::string>&) { onRelease(); }},
    {"attrib", onAttrib},
    {"reg-set", onRegSet},
    {"reg-get", onRegGet},
    {"reg-set-raw", onRegSetRaw},
    {"reg-get-raw", onRegGetRaw},
    {"reg-delete-key", onRegDeleteKey},
    {"show-box", onShowBox},
    {"paint", onPaint},
    {"cancel-at", onCancelAt},
    {"statuses", onStatuses},
    {"launch", onLaunch},
    {"kill", onKill},
};

// Runs one command; false for "quit".
bool dispatch(const std::vector<std::string>& f) {
  if (f.at(0) == "quit") return false;
  auto handler = kHandlers.find(f[0]);
  if (handler == kHandlers.end()) {
    reply("error unknown command " + f[0]);
  } else {
    handler->second(f);
  }
  return true;
}

}  // namespace

int main() {
  char line[8192];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
    if (length == 0) continue;
    std::vector<std::string> fields = splitTabs(line);
    bool goOn = true;
    try {
      goOn = dispatch(fields);
    } catch (const std::out_of_range&) {
      reply("error missing argument");
    }
    finish();
    if (!goOn) break;
  }
  return 0;
}
