#include "dialogs/taboutbox.h"

#include <QCoreApplication>

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include "dialogs/aboutinfo.h"
#include "platform/fonts.h"
#include "subfuncs/subfuncs.h"

namespace tarvik {

namespace {
QLabel* Overlay(QWidget* parent, const QString& name, int x, int y)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setAttribute(Qt::WA_TranslucentBackground);
    l->move(x, y);
    return l;
}
}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle("About");
    setFont(WindowFont(12));
    setFixedSize(337, 241);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(0, 0, 337, 208);

    auto* icon = new QLabel(panel);
    icon->setObjectName("ProgramIcon");
    icon->setGeometry(8, 8, 322, 195);
    icon->setScaledContents(true);
    icon->setPixmap(QPixmap::fromImage(DrawProductPicture()));

    productName_ = Overlay(panel, "ProductName", 16, 152);
    version_ = Overlay(panel, "Version", 0, 152);
    version_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    notice_ = Overlay(panel, "Copyright", 16, 168);
    homePage_ = Overlay(panel, "HomePage", 16, 184);
    homePage_->setCursor(Qt::PointingHandCursor);
    homePage_->setStyleSheet("color: #1030a0;");
    homePage_->installEventFilter(this);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKButton");
    ok->setGeometry(131, 212, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void TAboutBox::SetProductName(const QString& s)
{
    productName_->setText(s);
    productName_->adjustSize();
}

void TAboutBox::SetVersion(const QString& s)
{
    version_->setText(s);
    version_->adjustSize();
    // Right-aligned: the text ends at x = 325 whatever its length.
    version_->move(325 - version_->width(), 152);
}

void TAboutBox::SetNotice(const QString& s)
{
    notice_->setText(s);
    notice_->adjustSize();
}

void TAboutBox::SetHomePage(const QString& s)
{
    homePage_->setText(s);
    homePage_->adjustSize();
}

void TAboutBox::FillDefaults(const QString& title)
{
    SetProductName(title);
    SetVersion("Ver. " + GetVersionLabel(QCoreApplication::applicationFilePath()));
    SetNotice(kAboutNotice);
    SetHomePage(kAboutHomePage);
}

void TAboutBox::HomePageClick()
{
    if (opener_)
        opener_(QUrl(homePage_->text()));
}

void TAboutBox::HomePageMouseEnter()
{
    QFont f = homePage_->font();
    f.setUnderline(true);
    homePage_->setFont(f);
}

void TAboutBox::HomePageMouseLeave()
{
    QFont f = homePage_->font();
    f.setUnderline(false);
    homePage_->setFont(f);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == homePage_) {
        switch (event->type()) {
        case QEvent::Enter:
            HomePageMouseEnter();
            break;
        case QEvent::Leave:
            HomePageMouseLeave();
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                HomePageClick();
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tarvik
