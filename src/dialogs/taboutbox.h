#pragma once
// "About": product picture with the product name, version, notice line and home page.
#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;

namespace tarvik {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    explicit TAboutBox(QWidget* parent = nullptr);

    void SetProductName(const QString& s);
    void SetVersion(const QString& s);
    void SetNotice(const QString& s);
    void SetHomePage(const QString& s);
    QLabel* HomePage() const { return homePage_; }
    // Opens the home page; the desktop's default handler unless replaced.
    void SetUrlOpener(UrlOpener opener) { opener_ = std::move(opener); }

    void HomePageClick();
    void HomePageMouseEnter();
    void HomePageMouseLeave();

    // Fills the box with the program's texts: title, "Ver. " + version label, notice, home page.
    void FillDefaults(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* productName_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* notice_ = nullptr;
    QLabel* homePage_ = nullptr;
    UrlOpener opener_;
};

}  // namespace tarvik
