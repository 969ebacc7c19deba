// The port list of the settings dialog, read from the registry key that wine
// fills from the COM ports of its prefix when the wine session starts.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "link/PortList.h"

namespace {

constexpr const char* SerialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::ptrdiff_t IndexOf(const std::vector<std::string>& names, const std::string& name) {
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : it - names.begin();
}

TEST(SerialPortNames, ListsTheComPortsOfThePrefix) {
    // scripts/windows-test.sh registers these with wine before its session starts.
    const char* registered = std::getenv("KR3090_WINE_PORTS");
    if (!registered) GTEST_SKIP() << "KR3090_WINE_PORTS names no ports to look for";
    const std::vector<std::string> names = SerialPortNames();
    std::istringstream in(registered);
    for (std::string port; in >> port;) EXPECT_NE(IndexOf(names, port), -1) << port;
}

// Values as a driver may write them: a long device name, and text data stored
// without its terminating NUL.
TEST(SerialPortNames, ListsTheDataOfEveryValueInTheOrderTheRegistryEnumeratesThem) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialComm, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const std::size_t before = SerialPortNames().size();
    // Names in the order they are created sort the same way, so the registry
    // enumerates them in this order whether it keeps creation order or sorts.
    const std::string longName =
        "\\Device\\KR3090Test1_" + std::string(100, 'x');  // longer than any port name
    const struct {
        std::string Name, Data;
        DWORD Size;
    } values[] = {{"\\Device\\KR3090Test0", "COM21", 6},
                  {longName, "COM22", 6},
                  {"\\Device\\KR3090Test2", "COM255", 6}};  // 6: no NUL after COM255
    for (const auto& v : values)
        ASSERT_EQ(RegSetValueExA(key, v.Name.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(v.Data.c_str()), v.Size),
                  ERROR_SUCCESS);
    const std::vector<std::string> names = SerialPortNames();
    for (const auto& v : values) RegDeleteValueA(key, v.Name.c_str());
    RegCloseKey(key);

    ASSERT_EQ(names.size(), before + 3);
    const std::ptrdiff_t at = IndexOf(names, "COM21");
    ASSERT_NE(at, -1);
    ASSERT_LE(at + 3, static_cast<std::ptrdiff_t>(names.size()));
    EXPECT_EQ(names[at + 1], "COM22");
    EXPECT_EQ(names[at + 2], "COM255");
}

}  // namespace
