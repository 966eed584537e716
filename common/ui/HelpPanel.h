#pragma once
// HelpPanel: a screen's help, a panel that lies over the screen while it is
// shown and is hidden again by its close button.
//
//   m_help = new HelpPanel(CaptureText::Help(), HelpText(), CaptureText::BtnClose(), this);
//   m_help->SetNames("GroupBox4", "TxtHelp", "PushButton2");
//   m_help->SetPlace(90, 1530, 4935, 3240);          // twips, inside the window
//   connect(helpButton, &QPushButton::clicked, m_help, &HelpPanel::Show);
//
// The panel hides what lies below it, its title included (the looks draw a
// group box title above the frame, over whatever is behind it); the text reads
// right to left line by line, each line keeping the order of a left-to-right
// word in it, and scrolls when it is longer than the panel. Show() keeps the
// panel whole inside its window.
#include <QGroupBox>
#include <QRectF>

class QPlainTextEdit;
class QPushButton;
class QTextDocument;

class HelpPanel : public QGroupBox
{
    Q_OBJECT
public:
    // An empty title gives a panel without one.
    HelpPanel(const QString &title, const QString &text, const QString &closeCaption, QWidget *parent);

    void SetNames(const char *panel, const char *text, const char *close);
    // Where Show() puts the panel, in twips from the window's top-left corner.
    void SetPlace(double left, double top, double width, double height);

    QPlainTextEdit *Text() const { return m_text; }
    QPushButton *CloseButton() const { return m_close; }

    // The panel at its place, moved and shrunk as far as needed to lie whole
    // inside its window, in front of the other controls.
    void Show();

private:
    QPlainTextEdit *m_text;
    QPushButton *m_close;
    QRectF m_place;
};

// Overlays: panels a screen shows on purpose over its other controls (help,
// "please wait", an introduction that covers the work until it is started).
// The screen check leaves them out when it looks for controls on top of each
// other.
void MarkOverlay(QWidget *panel);
bool IsOverlay(const QWidget *w);

// A group box without a title: its frame runs along its top edge. The looks
// otherwise keep a strip above the frame for a title, and the frame line then
// runs through whatever the screen places near the box's top.
void UntitledPanel(QGroupBox *box);

// Paragraphs of a text field read right to left and start at the right edge,
// whatever their first letter is.
void RightToLeftParagraphs(QTextDocument *document);
