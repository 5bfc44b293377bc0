// Numbers the program prints keep "." under a user locale with a decimal comma.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/apptitle.h"

namespace {

std::string Saved(int category)
{
    const char* l = std::setlocale(category, nullptr);
    return l ? l : "C";
}

}  // namespace

TEST(NumericLocale, NumbersStayCWhileTextKeepsTheUsersLocale)
{
    const std::string numeric = Saved(LC_NUMERIC), ctype = Saved(LC_CTYPE);
    // What QApplication's constructor does under LC_ALL=de_DE.UTF-8 (install-deps makes it).
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const bool haveLocale = std::setlocale(LC_ALL, "") != nullptr;
    ::unsetenv("LC_ALL");
    ASSERT_TRUE(haveLocale) << "the de_DE.UTF-8 locale is missing: run scripts/install-deps.sh";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");

    struct Case {
        const char* format;
        double v;
        const char* text;
    };
    const Case cases[] = {
        {"%12.3f", 0.68, "       0.680"},       // the value panel
        {"Log Buffer=%5.1f%%", 12.5, "Log Buffer= 12.5%"},
        {"%lg", 1.5, "1.5"},
        {"%.6f", 0.01, "0.010000"},
    };
    tarvik::SetApplicationIdentity();
    for (const Case& c : cases) {
        char buf[64];
        std::snprintf(buf, sizeof buf, c.format, c.v);
        EXPECT_STREQ(buf, c.text) << c.format;
    }
    EXPECT_EQ(Saved(LC_CTYPE), "de_DE.UTF-8");
    std::setlocale(LC_ALL, "C");
    std::setlocale(LC_CTYPE, ctype.c_str());
    std::setlocale(LC_NUMERIC, numeric.c_str());
}
