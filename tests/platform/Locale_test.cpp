#include "Locale.h"

#include <locale.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <tuple>

#include "Process.h"
#include "TempDir.h"
#include "TestUtil.h"

using namespace Platform;

namespace {

// Puts the calling thread alone under a locale; setlocale would change the
// whole process under the other tests.
class TThreadLocale {
 public:
  explicit TThreadLocale(const char* name) : Locale(newlocale(LC_ALL_MASK, name, nullptr)) {
    if (Locale) uselocale(Locale);
  }
  ~TThreadLocale() {
    if (!Locale) return;
    uselocale(LC_GLOBAL_LOCALE);
    freelocale(Locale);
  }
  TThreadLocale(const TThreadLocale&) = delete;
  TThreadLocale& operator=(const TThreadLocale&) = delete;
  explicit operator bool() const { return Locale != nullptr; }

 private:
  locale_t Locale;
};

constexpr double Second = 1.0 / 86400.0;

}  // namespace

TEST(PlatformLocale, FormatCountGroupsDigitsInThrees) {
  constexpr auto min = std::numeric_limits<std::int64_t>::min();
  const std::tuple<std::int64_t, const char*, const char*> cases[] = {
      {0, "0", "0"}, {999, "999", "999"}, {-999, "-999", "-999"}, {1000, "1,000", "1.000"},
      {-1000, "-1,000", "-1.000"}, {100000, "100,000", "100.000"},
      {1234567, "1,234,567", "1.234.567"}, {-1234567, "-1,234,567", "-1.234.567"},
      {min, "-9,223,372,036,854,775,808", "-9.223.372.036.854.775.808"},
  };
  for (const auto& [value, comma, dot] : cases) {
    EXPECT_EQ(FormatCount(value, ","), comma) << value;
    EXPECT_EQ(FormatCount(value, "."), dot) << value;
  }
  EXPECT_EQ(FormatCount(1234567, "\u00a0"), "1\u00a0234\u00a0567");
}

TEST(PlatformLocale, SeparatorAndTimeFormatFollowTheLocale) {
  if (TThreadLocale c("C"); c) {
    EXPECT_EQ(ThousandsSeparator(), ",");  // C has none
    EXPECT_EQ(FormatCount(-1234567), "-1,234,567");
    EXPECT_EQ(LongTimeFormat(), "%H:%M:%S");
  }
  if (TThreadLocale us("en_US.UTF-8"); us) {
    EXPECT_EQ(ThousandsSeparator(), ",");
    EXPECT_EQ(FormatTimeOfDay(65 * Second, LongTimeFormat()), "12:01:05 AM");
    EXPECT_EQ(FormatTimeOfDay((13 * 3600 + 5) * Second, LongTimeFormat()), "01:00:05 PM");
  }
  TThreadLocale zh("zh_CN.UTF-8");
  if (!zh) GTEST_SKIP() << "zh_CN.UTF-8 is not installed";
  EXPECT_EQ(FormatTimeOfDay(3725 * Second, LongTimeFormat()), "01时02分05秒");
}

TEST(PlatformLocale, TextsOfLocalesThatAreNotUtf8ComeOutAsUtf8) {
  const struct {
    const char* Locale;
    std::string Time, AmPm, Count;
  } cases[] = {
      {"zh_CN.GBK", "01时02分05秒", "上午 12", "1,234,567"},
      {"fr_FR.ISO-8859-1", "01:02:05", " 12", "1\u00a0234\u00a0567"},
  };
  for (const auto& c : cases) {
    TThreadLocale locale(c.Locale);
    if (!locale) GTEST_SKIP() << c.Locale << " is not installed (scripts/setup.sh makes it)";
    EXPECT_EQ(FormatTimeOfDay(3725 * Second, LongTimeFormat()), c.Time) << c.Locale;
    EXPECT_EQ(FormatTimeOfDay(65 * Second, "%p %I"), c.AmPm) << c.Locale;
    EXPECT_EQ(FormatCount(1234567), c.Count) << c.Locale;
  }
}

TEST(PlatformLocale, TimeOfDayDropsWholeDaysAndFractionsOfASecond) {
  TThreadLocale c("C");
  ASSERT_TRUE(c);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::tuple<double, const char*, const char*> cases[] = {
      {65 * Second, "%-H:%M:%S", "0:01:05"}, {65.9 * Second, "%-H:%M:%S", "0:01:05"},
      {25 * 3600 * Second, "%-H:%M:%S", "1:00:00"}, {86399.6 * Second, "%T", "23:59:59"},
      {30 * Second, "%I:%M:%S %p", "12:00:30 AM"}, {43230 * Second, "%I:%M:%S %p", "12:00:30 PM"},
      // Spans taken as the difference of two date-times, which a double
      // holds only nearly, still count their whole seconds.
      {11 * Second, "%T", "00:00:11"}, {(45000.0 + 5 * Second) - 45000.0, "%T", "00:00:05"},
      {45678.75, "%T", "18:00:00"}, {-0.5, "%T", "00:00:00"}, {nan, "%T", "00:00:00"},
      {inf, "%T", "00:00:00"}, {65 * Second, "", ""}, {65 * Second, "%S s", "05 s"},
  };
  for (const auto& [days, format, expected] : cases) {
    EXPECT_EQ(FormatTimeOfDay(days, format), expected) << days << " " << format;
  }
  EXPECT_EQ(FormatTimeOfDay(0, std::string(500, 'x') + "%S"), std::string(500, 'x') + "00");
}

TEST(PlatformLocale, NowIsLocalTimeCountedFrom1899) {
  // A zone eight hours east of UTC (TZ is process-wide, so in a child);
  // 25569 days lie between 30 December 1899 and 1 January 1970.
  const int result = TestUtil::RunInChild([] {
    setenv("TZ", "CST-8", 1);
    tzset();
    const double expected = 25569.0 + static_cast<double>(time(nullptr) + 8 * 3600) / 86400.0;
    return std::fabs(NowAsDays() - expected) < 2 * Second ? 0 : 10;
  });
  EXPECT_EQ(result, 0);
  // Sub-second precision: not every sample sits on a whole second.
  bool fraction = false;
  for (int i = 0; i < 5 && !fraction; ++i, usleep(7000)) {
    const double s = NowAsDays() * 86400.0;
    fraction = std::fabs(s - std::round(s)) > 1e-4;
  }
  EXPECT_TRUE(fraction);
}

TEST(PlatformProcess, ExecutableDirectoryIsWhereTheProgramLies) {
  const std::string directory = ExecutableDirectory();
  EXPECT_EQ(directory, std::filesystem::canonical(program_invocation_name).parent_path().string());
  EXPECT_NE(directory.back(), '/');
}

TEST(PlatformProcess, InitializeTakesTheUsersLocaleAndIgnoresSigpipe) {
  // Both are process-wide, so they are tried in a child.
  const int result = TestUtil::RunInChild([] {
    const char* wanted = TThreadLocale("en_US.UTF-8") ? "en_US.UTF-8" : "C.UTF-8";
    setenv("LC_ALL", wanted, 1);
    InitializeProcess();
    const char* numeric = setlocale(LC_NUMERIC, nullptr);
    if (numeric == nullptr || std::strcmp(numeric, wanted) != 0) return 10;
    int ends[2];
    if (pipe(ends) != 0) return 11;
    close(ends[0]);
    // Without SIG_IGN this write would end the child with SIGPIPE.
    return write(ends[1], "x", 1) == -1 && errno == EPIPE ? 0 : 12;
  });
  EXPECT_EQ(result, 0);
}

TEST(PlatformLocale, DurationsNeverWrapNorReadAsATimeOfDay) {
  const double day = 86400 * Second;
  const struct {
    const char* Locale;
    const char* Zero;
    const char* Minute;
    const char* Day;
    const char* Longer;
  } cases[] = {
      {"zh_CN.UTF-8", "00时00分00秒", "00时00分59秒", "23时59分59秒", "1天 01时00分00秒"},
      {"en_US.UTF-8", "00:00:00", "00:00:59", "23:59:59", "1天 01:00:00"},
      {"C", "00:00:00", "00:00:59", "23:59:59", "1天 01:00:00"},
  };
  for (const auto& c : cases) {
    TThreadLocale locale(c.Locale);
    if (!locale) continue;
    EXPECT_EQ(FormatDuration(0), c.Zero) << c.Locale;
    EXPECT_EQ(FormatDuration(59 * Second), c.Minute) << c.Locale;
    EXPECT_EQ(FormatDuration(day - Second), c.Day) << c.Locale;
    EXPECT_EQ(FormatDuration(25 * 3600 * Second), c.Longer) << c.Locale;
  }
  // The hour of a 12-hour format counts on, its AM/PM text goes wherever it stands.
  const std::tuple<const char*, const char*, const char*> formats[] = {
      {"%r", "%I:%M:%S %p", "%H:%M:%S"}, {"%p %l:%M", "", "%k:%M"},
      {"%-I.%M.%S%P", "", "%-H.%M.%S"}, {"%H时%M分%S秒", "", "%H时%M分%S秒"},
  };
  for (const auto& [format, ampm, expected] : formats)
    EXPECT_EQ(DurationFormat(format, ampm), expected) << format;
  EXPECT_EQ(FormatDuration(-1), FormatDuration(0));
}
