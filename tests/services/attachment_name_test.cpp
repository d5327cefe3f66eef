#include "services/attachment_name.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <ctime>
#include <string>

namespace {

tm Time(int year, int month, int day, int weekday, int hour, int minute, int second) {
    tm time = {};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_wday = weekday;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

std::string TimeText(const tm* time) {
    char text[kTimeTextBytes];
    memset(text, '#', sizeof text);
    FormatTimeText(time, text);
    return std::string(text, strnlen(text, sizeof text));
}

std::string FileSafe(std::string text) {
    char buffer[kTimeTextBytes] = {};
    strncpy(buffer, text.c_str(), sizeof buffer - 1);
    MakeTimeTextFileSafe(buffer);
    return buffer;
}

// The whole path of a Send from a broken-down time to the attachment's name.
std::string NameFor(const tm* time) {
    char text[kTimeTextBytes];
    FormatTimeText(time, text);
    MakeTimeTextFileSafe(text);
    char name[kAttachmentNameBytes];
    FormatAttachmentName(text, name);
    return name;
}

void ExpectSafeName(const std::string& name) {
    EXPECT_EQ(name.size(), 42u) << name;
    EXPECT_EQ(name.find_first_of(": \n"), std::string::npos) << name;
    EXPECT_EQ(name.rfind("voice-message-", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".wav") << name;
}

TEST(TimeText, WorkedExampleFromTimeToName) {
    const tm time = Time(2026, 3, 3, 2, 14, 5, 9);
    EXPECT_EQ(TimeText(&time), "Tue Mar 03 14:05:09 2026\n");
    EXPECT_EQ(FileSafe(TimeText(&time)), "Tue_Mar_03_14-05-09_2026");
    EXPECT_EQ(NameFor(&time), "voice-message-Tue_Mar_03_14-05-09_2026.wav");
}

TEST(TimeText, MidnightAndTheLastSecondBeforeIt) {
    const tm midnight = Time(2026, 1, 1, 4, 0, 0, 0);
    const tm lastSecond = Time(2025, 12, 31, 3, 23, 59, 59);
    EXPECT_EQ(NameFor(&midnight), "voice-message-Thu_Jan_01_00-00-00_2026.wav");
    EXPECT_EQ(NameFor(&lastSecond), "voice-message-Wed_Dec_31_23-59-59_2025.wav");
}

TEST(TimeText, DaysBelowTenHaveALeadingZeroNotASpace) {
    for (int day = 1; day <= 31; ++day) {
        const tm time = Time(2026, 3, day, 0, 7, 8, 9);
        char expected[8];
        snprintf(expected, sizeof expected, "_Mar_%c%c_", '0' + day / 10, '0' + day % 10);
        const std::string name = NameFor(&time);
        EXPECT_NE(name.find(expected), std::string::npos) << name;
        ExpectSafeName(name);
    }
    const tm third = Time(2026, 3, 3, 2, 0, 0, 0);
    EXPECT_NE(NameFor(&third).find("_Mar_03_"), std::string::npos);
}

TEST(TimeText, EveryWeekdayAndMonthInEnglish) {
    const char* weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int weekday = 0; weekday < 7; ++weekday) {
        const tm time = Time(2026, 6, 15, weekday, 12, 0, 0);
        EXPECT_EQ(TimeText(&time).substr(0, 4), std::string(weekdays[weekday]) + " ");
    }
    for (int month = 1; month <= 12; ++month) {
        const tm time = Time(2026, month, 15, 1, 12, 0, 0);
        EXPECT_EQ(TimeText(&time).substr(3, 5), std::string(" ") + months[month - 1] + " ");
    }
}

// The C runtime's own formatting in the "C" locale is an independent reference for the form.
TEST(TimeText, MatchesTheRuntimesFormatInTheCLocale) {
    ASSERT_NE(setlocale(LC_TIME, "C"), nullptr);
    int checked = 0;
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= 31; day += 3) {
            for (int hour = 0; hour < 24; hour += 5) {
                const tm time = Time(1970 + month * 7 + day, month, day, (month + day) % 7, hour,
                                     (day * 7) % 60, (hour * 13) % 60);
                char reference[64];
                ASSERT_GT(strftime(reference, sizeof reference, "%a %b %d %H:%M:%S %Y\n", &time),
                          0u);
                ASSERT_EQ(TimeText(&time), reference);
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 12 * 11 * 5);
}

TEST(TimeText, StaysEnglishUnderAnotherLocale) {
    const std::string saved = setlocale(LC_ALL, nullptr);
    const char* set = setlocale(LC_ALL, "German");
    if (set == nullptr) {
        GTEST_SKIP() << "the C runtime has no German locale here";
    }
    const std::string german = set;
    const tm time = Time(2026, 3, 3, 2, 14, 5, 9);
    // The locale really names the day otherwise, or the check below could not fail.
    char localDay[32] = "";
    strftime(localDay, sizeof localDay, "%a", &time);
    const std::string text = TimeText(&time);
    setlocale(LC_ALL, saved.c_str());
    EXPECT_STRNE(localDay, "Tue") << "locale " << german;
    EXPECT_EQ(text, "Tue Mar 03 14:05:09 2026\n") << "locale " << german;
}

TEST(TimeText, YearsAlwaysHaveFourDigits) {
    const tm early = Time(999, 7, 4, 0, 1, 2, 3);
    const tm late = Time(9999, 12, 31, 5, 23, 59, 59);
    EXPECT_EQ(NameFor(&early), "voice-message-Sun_Jul_04_01-02-03_0999.wav");
    EXPECT_EQ(NameFor(&late), "voice-message-Fri_Dec_31_23-59-59_9999.wav");
}

TEST(TimeText, ALeapSecondIsKept) {
    const tm time = Time(2016, 12, 31, 6, 23, 59, 60);
    EXPECT_EQ(NameFor(&time), "voice-message-Sat_Dec_31_23-59-60_2016.wav");
}

// Without a local time the name still has its form: the epoch's.
TEST(TimeText, NoUsableTimeGivesTheEpoch) {
    const std::string epoch = "voice-message-Thu_Jan_01_00-00-00_1970.wav";
    EXPECT_EQ(TimeText(nullptr), "Thu Jan 01 00:00:00 1970\n");
    EXPECT_EQ(NameFor(nullptr), epoch);

    const tm good = Time(2026, 3, 3, 2, 14, 5, 9);
    struct Broken {
        const char* what;
        int tm::*field;
        int value;
    };
    const Broken cases[] = {
        {"weekday -1", &tm::tm_wday, -1},
        {"weekday 7", &tm::tm_wday, 7},
        {"month -1", &tm::tm_mon, -1},
        {"month 12", &tm::tm_mon, 12},
        {"day 0", &tm::tm_mday, 0},
        {"day 32", &tm::tm_mday, 32},
        {"hour -1", &tm::tm_hour, -1},
        {"hour 24", &tm::tm_hour, 24},
        {"minute 60", &tm::tm_min, 60},
        {"second 61", &tm::tm_sec, 61},
        {"second -1", &tm::tm_sec, -1},
        {"year -1", &tm::tm_year, -1901},
        {"year 10000", &tm::tm_year, 10000 - 1900},
    };
    for (const Broken& broken : cases) {
        tm time = good;
        time.*broken.field = broken.value;
        EXPECT_EQ(NameFor(&time), epoch) << broken.what;
    }
}

TEST(FileSafeTime, ColonsBecomeHyphensSpacesUnderscoresAndTheLineFeedGoes) {
    EXPECT_EQ(FileSafe("Mon Jan 05 10:20:30 2026\n"), "Mon_Jan_05_10-20-30_2026");
    EXPECT_EQ(FileSafe("a b:c"), "a_b-c");
    EXPECT_EQ(FileSafe("one two\nthree:four"), "one_two");
    EXPECT_EQ(FileSafe("\nrest"), "");
    EXPECT_EQ(FileSafe("keep-_.,09AZaz"), "keep-_.,09AZaz");
}

TEST(FileSafeTime, StopsAtTheLineFeedAndLeavesTheRestAlone) {
    char text[kTimeTextBytes] = "a b\nc d";
    MakeTimeTextFileSafe(text);
    EXPECT_STREQ(text, "a_b");
    EXPECT_STREQ(text + 4, "c d");
}

TEST(AttachmentName, EveryNameIs42SafeCharacters) {
    for (int weekday = 0; weekday < 7; ++weekday) {
        for (int month = 1; month <= 12; ++month) {
            const tm time = Time(2000 + month, month, 1 + weekday * 4, weekday, month + weekday,
                                 month * 4, weekday * 9);
            ExpectSafeName(NameFor(&time));
        }
    }
    ExpectSafeName(NameFor(nullptr));
}

TEST(AttachmentName, ALongTimeTextIsCutAtTheBuffer) {
    struct {
        char name[kAttachmentNameBytes];
        char guard[16];
    } out;
    memset(&out, '#', sizeof out);
    const std::string longText(300, 'x');
    FormatAttachmentName(longText.c_str(), out.name);
    EXPECT_EQ(strnlen(out.name, sizeof out.name), sizeof out.name - 1);
    EXPECT_EQ(std::string(out.name, 14), "voice-message-");
    EXPECT_EQ(std::string(out.guard, sizeof out.guard), std::string(sizeof out.guard, '#'));
}

}  // namespace
