#include "app/HelpDialog.h"

#include <QPlainTextEdit>
#include <QTextCursor>

#include "res/Strings.h"

namespace vellumix::app {

namespace {

constexpr char kFontFamily[] = "Arial";
constexpr int kFontPoints = 10;

// The passages end their lines with CR LF; the text box takes "\n" as its one
// line break and would read CR LF as two.
constexpr QLatin1StringView kStoredLineEnd{"\r\n"};
constexpr QLatin1StringView kBoxLineEnd{"\n"};

QString ToBoxText(const QString& stored) {
    QString text = stored;
    return text.replace(kStoredLineEnd, kBoxLineEnd);
}

}  // namespace

CHelpDialog::CHelpDialog(QWidget* parent) : QDialog(parent), m_pText(new QPlainTextEdit(this)) {
    QFont font(QString::fromLatin1(kFontFamily));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(kFontPoints);
    setFont(font);
    setWindowTitle(res::kHelpTitle);
    setFixedSize(kSize);

    m_pText->setGeometry(kTextRect);
    m_pText->setReadOnly(true);
    // Read-only, yet the reader may still select, copy and move through the text
    // with the keys.
    m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Lines wrap at the box's width; only the vertical bar is ever needed.
    m_pText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pText->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    m_pText->setPlainText(ToBoxText(res::kHelpGeneral));
    Append(res::kHelpButtons);
    Append(res::kHelpImage);
    Append(res::kHelpLinux);
    // Open at the beginning, not at the end the appending left the caret.
    m_pText->moveCursor(QTextCursor::Start);
}

void CHelpDialog::Append(const QString& passage) {
    QTextCursor cursor = m_pText->textCursor();
    cursor.movePosition(QTextCursor::End);
    m_pText->setTextCursor(cursor);
    m_pText->ensureCursorVisible();
    cursor.insertText(ToBoxText(passage));
}

QString CHelpDialog::Text() const {
    QString text = m_pText->toPlainText();
    return text.replace(kBoxLineEnd, kStoredLineEnd);
}

}  // namespace vellumix::app
