#pragma once
// Which language the windows speak. The texts in the code are the Japanese ones; English
// comes from a translation compiled into the program.
#include <QString>
#include <QTranslator>

namespace tarvik {

enum class TLanguage { Japanese, English };

// The language of a --lang value ("ja", "en"); false for anything else.
bool ParseLanguage(const QString& option, TLanguage* language);

// option: the --lang value, empty when not given (it wins). uiLanguage: the system's first
// user-interface language ("ja_JP.UTF-8", "ja-JP", "en_US", "C"): Japanese only for "ja".
TLanguage ChooseLanguage(const QString& option, const QString& uiLanguage);

// The system's first user-interface language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
QString SystemUiLanguage();

// Puts the texts of one language into the running application while it lives.
class TTranslation {
public:
    TTranslation() = default;
    ~TTranslation();
    TTranslation(const TTranslation&) = delete;
    TTranslation& operator=(const TTranslation&) = delete;

    // False with *error set when the English texts cannot be loaded; the windows then keep
    // the Japanese ones. Windows made before the call keep the texts they were made with.
    bool Use(TLanguage language, QString* error = nullptr);

private:
    QTranslator translator_;
    bool installed_ = false;
};

}  // namespace tarvik
