#include "app/widgets/QuillMainWindow.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QKeySequence>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace Libraries::Widgets::Quill {

namespace {
const char HelpFolder[] = ":/help/";
const char ImageFolder[] = ":/images/";
} // namespace

MainWindow::MainWindow(QWidget *parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &MainWindow::showHelp);
}

MainWindow::~MainWindow() = default;

bool MainWindow::setWindowImage(const QString &name)
{
    const QIcon icon(QString::fromLatin1(ImageFolder) + name);
    if (icon.isNull() || icon.availableSizes().isEmpty())
        return false;
    setWindowIcon(icon);
    return true;
}

QDialog *MainWindow::helpViewer() const
{
    return m_helpViewer;
}

QUrl MainWindow::helpUrl(const QString &page, const QString &anchor)
{
    const QString fileName = QFileInfo(page).fileName();
    const QString file = QString::fromLatin1(HelpFolder) + fileName;
    if (fileName.isEmpty() || !QFileInfo::exists(file))
        return {};
    QUrl url(QStringLiteral("qrc:/help/") + fileName);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    return url;
}

void MainWindow::showHelp()
{
    helpRequested();
}

void MainWindow::helpRequested() {}

bool MainWindow::tellHelpUrl(const QString &page, const QString &anchor)
{
    const QUrl url = helpUrl(page, anchor);
    if (url.isEmpty())
        return false;
    if (!m_helpViewer) {
        auto *dialog = new QDialog(this);
        dialog->setObjectName(QStringLiteral("helpViewer"));
        dialog->resize(640, 560);
        auto *layout = new QVBoxLayout(dialog);
        m_helpBrowser = new QTextBrowser(dialog);
        m_helpBrowser->setObjectName(QStringLiteral("helpBrowser"));
        m_helpBrowser->setOpenExternalLinks(true);
        layout->addWidget(m_helpBrowser);
        connect(m_helpBrowser, &QTextBrowser::sourceChanged, dialog,
                [this, dialog] { dialog->setWindowTitle(m_helpBrowser->documentTitle()); });
        m_helpViewer = dialog;
    }
    m_helpBrowser->setSource(url);
    m_helpViewer->show();
    m_helpViewer->raise();
    m_helpViewer->activateWindow();
    return true;
}

namespace Utils {
QFont sizeAdjustedFont(int type)
{
    const QFont base = QApplication::font();
    if (type != 1)
        return base;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (base.pointSizeF() > 0)
        fixed.setPointSizeF(base.pointSizeF());
    else if (base.pixelSize() > 0)
        fixed.setPixelSize(base.pixelSize());
    return fixed;
}
} // namespace Utils

} // namespace Libraries::Widgets::Quill

namespace Libraries::Quill::Tools::Info {
QString productBaseName()
{
    return QStringLiteral("Quill");
}
} // namespace Libraries::Quill::Tools::Info
