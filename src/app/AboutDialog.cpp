#include "app/AboutDialog.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "res/Strings.h"

namespace vellumix::app {

namespace {

constexpr char kFontFamily[] = "Arial";
constexpr int kFontPoints = 16;

// Control places in pixels (two per dialog unit).
constexpr QRect kProductRect{20, 12, 290, 56};
constexpr QRect kVersionRect{20, 70, 290, 26};
constexpr QRect kNoticeRect{20, 98, 290, 26};
constexpr QRect kOkRect{125, 132, 80, 30};

QLabel* MakeText(QWidget* parent, const QString& text, const QRect& where) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(where);
    // Black text straight on the dialog's white client area.
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    label->setAutoFillBackground(false);
    return label;
}

}  // namespace

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    QFont font(QString::fromLatin1(kFontFamily));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(kFontPoints);
    setFont(font);
    setFixedSize(kSize);

    m_pProduct = MakeText(this, res::kAboutProduct, kProductRect);
    m_pVersion = MakeText(this, res::kAboutVersion, kVersionRect);
    m_pNotice = MakeText(this, res::kAboutNotice, kNoticeRect);
    m_pOk = new QPushButton(res::kOkButton, this);
    m_pOk->setGeometry(kOkRect);
    m_pOk->setDefault(true);
    m_pOk->setFocus();
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);

    setWindowTitle(res::kAboutTitle);
}

void CAboutDialog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}

}  // namespace vellumix::app
