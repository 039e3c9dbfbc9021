// The Windows system-name table; pure, so it runs on both targets.
#include <gtest/gtest.h>

#include "app/system/os_info.h"

namespace {

using corvane::WindowsSystemName;
using corvane::WindowsVersion;

std::string Name(unsigned major, unsigned minor, unsigned sp = 0, bool workstation = true) {
  WindowsVersion v;
  v.major = major;
  v.minor = minor;
  v.service_pack_major = sp;
  v.workstation = workstation;
  return WindowsSystemName(v);
}

TEST(WindowsSystemNameTable, EveryRowAndItsEdges) {
  EXPECT_EQ(Name(10, 0, 0, false), "Microsoft Windows Server");
  EXPECT_EQ(Name(6, 1, 1, false), "Microsoft Windows Server");
  EXPECT_EQ(Name(10, 0), "Microsoft Windows 10");
  // Windows 11 still reports 10.0; anything later is "10 or later".
  EXPECT_EQ(Name(11, 0), "Microsoft Windows 10");
  EXPECT_EQ(Name(6, 3), "Microsoft Windows 8.1");
  EXPECT_EQ(Name(6, 4), "Microsoft Windows 8.1");
  EXPECT_EQ(Name(6, 2), "Microsoft Windows 8");
  EXPECT_EQ(Name(6, 1, 1), "Microsoft Windows 7 sp1");
  EXPECT_EQ(Name(6, 1, 2), "Microsoft Windows 7 sp1");
  EXPECT_EQ(Name(6, 1), "Microsoft Windows 7");
  EXPECT_EQ(Name(6, 0, 2), "Microsoft Windows Vista sp2");
  EXPECT_EQ(Name(6, 0, 1), "Microsoft Windows Vista sp1");
  EXPECT_EQ(Name(6, 0), "Microsoft Windows Vista");
  // 5.2 (XP x64, Server 2003 workstation builds) is "xp sp2 or later" by
  // the table's greater-or-equal tests.
  EXPECT_EQ(Name(5, 2), "Microsoft Windows xp sp3");
  EXPECT_EQ(Name(5, 1, 3), "Microsoft Windows xp sp3");
  EXPECT_EQ(Name(5, 1, 2), "Microsoft Windows xp sp2");
  EXPECT_EQ(Name(5, 1, 1), "Microsoft Windows xp sp1");
  EXPECT_EQ(Name(5, 1), "Microsoft Windows xp");
  EXPECT_EQ(Name(5, 0, 4), "unknown OperatingSystem.");
  EXPECT_EQ(Name(4, 0), "unknown OperatingSystem.");
}

TEST(WindowsSystemNameTable, OlderSystemsStartTheProductWithoutGpu) {
  auto v = [](unsigned major, unsigned minor) {
    WindowsVersion version;
    version.major = major;
    version.minor = minor;
    return version;
  };
  EXPECT_TRUE(corvane::ProductNeedsGpuOff(v(5, 1)));
  EXPECT_TRUE(corvane::ProductNeedsGpuOff(v(6, 0)));
  EXPECT_TRUE(corvane::ProductNeedsGpuOff(v(6, 1)));
  EXPECT_FALSE(corvane::ProductNeedsGpuOff(v(6, 2)));
  EXPECT_FALSE(corvane::ProductNeedsGpuOff(v(6, 3)));
  EXPECT_FALSE(corvane::ProductNeedsGpuOff(v(10, 0)));
}

}  // namespace
