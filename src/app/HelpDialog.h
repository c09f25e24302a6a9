// The Help window: the operating instructions in one read-only, scrolling
// text box.
#pragma once

#include <QDialog>
#include <QRect>
#include <QSize>

class QPlainTextEdit;

namespace vellumix::app {

class CHelpDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr QSize kSize{760, 496};
    static constexpr QRect kTextRect{14, 14, 730, 468};

    explicit CHelpDialog(QWidget* parent = nullptr);

    QPlainTextEdit* TextBox() const { return m_pText; }
    // The box's text with CR LF line ends, as the passages are stored.
    QString Text() const;

private:
    void Append(const QString& passage);

    QPlainTextEdit* m_pText;
};

}  // namespace vellumix::app
