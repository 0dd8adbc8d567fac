#include "aboutdialog.h"

#include "twips.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>

namespace {

QRect Twips(float left, float top, float width, float height) {
    return {twips::ToPixels(left), twips::ToPixels(top), twips::ToPixels(width),
            twips::ToPixels(height)};
}

} // namespace

const AboutServices& AboutServices::System() {
    static const AboutServices system = [] {
        AboutServices services;
        services.startProgram = [](const QString& program) {
            // The path is the whole command: no arguments, no quoting.
            return QProcess::startDetached(program, {});
        };
        services.isOrdinaryFile = [](const QString& path) {
            const QFileInfo info(path);
            return info.exists() && info.isFile() && !info.isHidden();
        };
        services.message = [](QWidget* parent, const QString& title, const QString& text) {
            QMessageBox::information(parent, title, text, QMessageBox::Ok);
        };
        return services;
    }();
    return system;
}

QString AboutDialog::Title() {
    return QStringLiteral("VELDAR Image converter");
}

QString AboutDialog::DescriptionText() {
    return QStringLiteral(
        "VELDAR  -  GrayScale system for HP 49G+\n"
        "-enables the use of GrayScale graphics in Saturn and RPL environment\n"
        "\n"
        "Image converter is a support tool for VELDAR\n"
        "-created to support developers in user interface or gaming characters design\n"
        "-all major graphics formats are supported\n"
        "\n"
        "FREE TO USE AND TO PASS ON, AS LONG AS IT IS NOT ALTERED.\n"
        "\n"
        "NO WARRANTIES OR GUARANTEES OF ANY KIND ARE GIVEN.\n"
        "YOU USE THIS PROGRAM AT YOUR OWN RISK.");
}

QString AboutDialog::AuthorText() {
    return QStringLiteral("VELDAR Image converter team, 2024-2026\n"
                          "https://www.hpcalc.org/\n"
                          "https://www.hpcalc.org/hp49/programming/");
}

AboutDialog::AboutDialog(float mainLeftTwips, float mainTopTwips, const AboutServices* services,
                         QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services ? *services : AboutServices::System()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("About VELDAR Image converter"));
    setWindowIcon(QIcon(QStringLiteral(":/veldar/icon.ico")));
    setFixedSize(twips::ToPixels(5730), twips::ToPixels(3720));
    // The dialog is laid out for a small 8-point face.
    QFont small = font();
    small.setPointSizeF(7.5);
    setFont(small);

    auto* whiteBand = new QWidget(this);
    whiteBand->setObjectName(QStringLiteral("whiteBand"));
    whiteBand->setGeometry(Twips(45, 30, 1155, 2880));
    whiteBand->setAutoFillBackground(true);
    QPalette white = whiteBand->palette();
    white.setColor(QPalette::Window, palette().color(QPalette::Base));
    white.setColor(QPalette::WindowText, Qt::black);
    whiteBand->setPalette(white);

    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setGeometry(Twips(135, 375, 975, 1545));
    logo->setPixmap(QPixmap(QStringLiteral(":/veldar/logo.gif")));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setGeometry(Twips(345, 1785, 480, 480));
    icon->setPixmap(QPixmap(QStringLiteral(":/veldar/icon.ico")));

    const QString placeholder = QStringLiteral("VELDAR is GrayScale system for HP-49G+");
    description = new QLabel(placeholder, this);
    description->setObjectName(QStringLiteral("description"));
    description->setGeometry(Twips(1185, 30, 4485, 2865));
    description->setAutoFillBackground(true);
    description->setPalette(white);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    author = new QLabel(placeholder, this);
    author->setObjectName(QStringLiteral("author"));
    author->setGeometry(Twips(120, 3000, 4125, 690));
    QPalette black = author->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    author->setPalette(black);
    author->setWordWrap(true);
    author->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("ok"));
    okButton->setGeometry(Twips(4485, 2985, 1140, 345));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::close);

    systemInfoButton = new QPushButton(QStringLiteral("&System Info..."), this);
    systemInfoButton->setObjectName(QStringLiteral("systemInfo"));
    systemInfoButton->setGeometry(Twips(4485, 3390, 1140, 270));
    connect(systemInfoButton, &QPushButton::clicked, this, &AboutDialog::startSystemInfo);

    setTabOrder(okButton, systemInfoButton);
    okButton->setFocus();
    place(mainLeftTwips, mainTopTwips);
}

void AboutDialog::place(float mainLeftTwips, float mainTopTwips) {
    move(twips::ToPixels(mainLeftTwips + 2000), twips::ToPixels(mainTopTwips + 1000));
    description->setText(DescriptionText());
    author->setText(AuthorText());
}

void AboutDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // An etched line between the white band and the lower part.
    QPainter painter(this);
    painter.setPen(QPen(QColor(128, 128, 128), 1));
    painter.drawLine(twips::ToPixels(90), twips::ToPixels(2925), twips::ToPixels(5654),
                     twips::ToPixels(2925));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(twips::ToPixels(105), twips::ToPixels(2940), twips::ToPixels(5654),
                     twips::ToPixels(2940));
}

void AboutDialog::startSystemInfo() {
    const AboutServices& services = services_;
    registry::Registry& reg = services.registry ? *services.registry : registry::SystemRegistry();
    QString toolPath;
    bool found = false;
    if (registry::GetKeyValue(reg, registry::kLocalMachine,
                              QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                              QStringLiteral("PATH"), toolPath)) {
        found = true; // used as read, without looking for the file
    } else if (registry::GetKeyValue(reg, registry::kLocalMachine,
                                     QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                                     QStringLiteral("MSINFO"), toolPath)) {
        const QString candidate = toolPath + QDir::separator() + QStringLiteral("MSINFO32.EXE");
        if (services.isOrdinaryFile(candidate)) {
            toolPath = candidate;
            found = true;
        }
    }
    if (found && !toolPath.isEmpty() && services.startProgram(toolPath)) return;
    services.message(this, Title(),
                     QStringLiteral("System Information Is Unavailable At This Time"));
}
