#include "platform/language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>

namespace tarvik {

namespace {
// Compiled in from translations/tarvik_en.ts.
constexpr const char* kEnglishTexts = ":/i18n/tarvik_en.qm";
}  // namespace

bool ParseLanguage(const QString& option, TLanguage* language)
{
    if (option == QLatin1String("ja"))
        *language = TLanguage::Japanese;
    else if (option == QLatin1String("en"))
        *language = TLanguage::English;
    else
        return false;
    return true;
}

TLanguage ChooseLanguage(const QString& option, const QString& uiLanguage)
{
    TLanguage chosen;
    if (ParseLanguage(option, &chosen))
        return chosen;
    // The language code ends at the territory, the codeset or the modifier.
    const QString code = uiLanguage.section(QRegularExpression(QStringLiteral("[-_.@]")), 0, 0);
    return code.compare(QLatin1String("ja"), Qt::CaseInsensitive) == 0 ? TLanguage::Japanese : TLanguage::English;
}

QString SystemUiLanguage()
{
    const QStringList languages = QLocale::system().uiLanguages();
    return languages.isEmpty() ? QString() : languages.first();
}

TTranslation::~TTranslation()
{
    if (installed_)
        QCoreApplication::removeTranslator(&translator_);
}

bool TTranslation::Use(TLanguage language, QString* error)
{
    if (installed_) {
        QCoreApplication::removeTranslator(&translator_);
        installed_ = false;
    }
    if (language == TLanguage::Japanese)
        return true;
    if (!translator_.load(QString::fromLatin1(kEnglishTexts))) {
        if (error)
            *error = QStringLiteral("%1: the English texts could not be loaded").arg(QString::fromLatin1(kEnglishTexts));
        return false;
    }
    installed_ = QCoreApplication::installTranslator(&translator_);
    if (!installed_ && error)
        *error = QStringLiteral("%1: the English texts could not be installed").arg(QString::fromLatin1(kEnglishTexts));
    return installed_;
}

}  // namespace tarvik
