#include <QCoreApplication>
#include <gtest/gtest.h>

#include "platform/language.h"

using namespace tarvik;

TEST(Language, LangOptionWinsElseTheSystemLanguageCodeDecides)
{
    const struct {
        const char* option;
        const char* ui;
        TLanguage expected;
    } cases[] = {
        {"", "ja_JP.UTF-8", TLanguage::Japanese},
        {"", "ja-JP", TLanguage::Japanese},
        {"", "ja", TLanguage::Japanese},
        {"", "JA_jp", TLanguage::Japanese},
        {"", "ja_JP@euro", TLanguage::Japanese},
        {"", "jam_JM", TLanguage::English},  // another language that starts with "ja"
        {"", "en_US.UTF-8", TLanguage::English},
        {"", "de-DE", TLanguage::English},
        {"", "C", TLanguage::English},
        {"", "", TLanguage::English},
        {"en", "ja_JP.UTF-8", TLanguage::English},
        {"ja", "en_US", TLanguage::Japanese},
        {"ja", "", TLanguage::Japanese},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, ChooseLanguage(c.option, c.ui)) << c.option << " / " << c.ui;

    TLanguage l = TLanguage::English;
    for (const char* bad : {"", "JA", "jp", "english", "ja_JP"})
        EXPECT_FALSE(ParseLanguage(bad, &l)) << bad;
}

TEST(Language, EnglishIsCompiledInAndJapaneseRestoresTheSourceTexts)
{
    const char* context = "tarvik::TLabelDetailDialog";
    const char* source = "Name が設定されていません。";
    TTranslation t;
    QString error;
    ASSERT_TRUE(t.Use(TLanguage::English, &error)) << error.toStdString();
    EXPECT_EQ("No name is set.", QCoreApplication::translate(context, source));
    ASSERT_TRUE(t.Use(TLanguage::Japanese));
    EXPECT_EQ(QString::fromUtf8(source), QCoreApplication::translate(context, source));
    {
        TTranslation scoped;
        ASSERT_TRUE(scoped.Use(TLanguage::English));
    }
    // Gone with its owner: nothing stays translated behind it.
    EXPECT_EQ(QString::fromUtf8(source), QCoreApplication::translate(context, source));
}
