// The port list from the registry: every value under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM names a port device (\Device\Serial0)
// and holds the port's name (COM1) as text.
#ifdef _WIN32

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "link/PortList.h"

namespace {

// Registry text in the ANSI code page, as UTF-8.
std::string Utf8FromAnsi(const char* text, int length) {
    const int wide = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, length, w.data(), wide);
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

std::vector<std::string> SerialPortNames() {
    std::vector<std::string> names;
    // Read access only: an ordinary user may read the key but not create it
    // or write to it, and asking for more would fail the open.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return names;
    DWORD maxName = 0, maxData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return names;
    }
    std::string name(maxName + 1, '\0');
    std::string data(maxData + 1, '\0');
    int grown = 0;  // a key that keeps growing under us is read no further
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG rc = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &dataLength);
        if (rc == ERROR_MORE_DATA && ++grown < 8) {
            // A value added since the size query: grow and read it again.
            name.resize(name.size() * 2);
            data.resize(std::max<std::size_t>(data.size() * 2, dataLength + 1));
            continue;
        }
        if (rc != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS: all read
        ++index;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;  // not a port name
        // The text ends at its terminator, or with the data if it has none.
        const std::size_t length =
            std::min<std::size_t>(std::string_view(data.data(), dataLength).find('\0'), dataLength);
        names.push_back(Utf8FromAnsi(data.data(), static_cast<int>(length)));
    }
    RegCloseKey(key);
    return names;
}

std::string DefaultPortName() {
    return "COM1";
}

#endif
