#include "shell/ui/Frm_Setting.h"

#include "common/ProgramFolder.h"
#include "common/ui/Buttons.h"
#include "common/ui/Dialogs.h"
#include "common/ui/Fonts.h"
#include "common/ui/HelpPanel.h"
#include "common/ui/MainWindowRef.h"
#include "shell/NumberText.h"
#include "shell/Settings.h"
#include "shell/ui/MDIForm1.h"
#include "shell/ui/Resource.h"
#include "store/DataControl.h"
#include "store/DatabaseError.h"
#include "store/DatabaseLocation.h"
#include "store/ServerDatabase.h"
#include "store/ui/BoundWidgets.h"
#include "store/ui/Keyring.h"
#include "store/ui/ServerTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QPointer<Frm_Setting> &instance()
{
    static QPointer<Frm_Setting> p;
    return p;
}

const QSize kPreviewSize(180, 135);

QString connectionText(bool settingsRow)
{
    QString folder = QDir::toNativeSeparators(ProgramFolder());
    while (folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    QString text = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder + QStringLiteral("\\KVRDB.mdb;");
    if (settingsRow)
        text += QStringLiteral("Persist Security Info=False");
    return text;
}

} // namespace

Frm_Setting *Frm_Setting::Instance()
{
    if (!instance())
        instance() = new Frm_Setting();
    return instance();
}

bool Frm_Setting::IsLoaded() { return !instance().isNull(); }

Frm_Setting::Frm_Setting(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    m_loading = true;
    setObjectName(QStringLiteral("Frm_Setting"));
    setAttribute(Qt::WA_DeleteOnClose);
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QStringLiteral("تنظيمات"));
    setFont(Fonts::Persian(12));

    // 1. The two data controls.
    m_adodc1 = new DataControl(this);
    m_adodc1->setObjectName(QStringLiteral("Adodc1"));
    m_adodc1->Open(QStringLiteral("SELECT * FROM Theme "), connectionText(true));
    m_adodc2 = new DataControl(this);
    m_adodc2->setObjectName(QStringLiteral("Adodc2"));
    m_adodc2->Open(QStringLiteral("SELECT * FROM QUS "), connectionText(false));

    // 2. The tab captions.
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("TabControl1"));
    m_tabs->addTab(buildThemeTab(), QStringLiteral("تغيير تم"));
    m_tabs->addTab(buildClinicTab(), QStringLiteral("مشخصات كلينيك"));
    m_tabs->addTab(buildQuestionTab(), QStringLiteral("ويرايش سوالات"));
    m_tabs->addTab(buildLocationTab(), ServerText::TabCaption());

    auto *exit = NamedButton(this, QStringLiteral("بستن"), "PushButtonExit");
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(exit, 0, Qt::AlignLeading);
    resize(720, 460);

    // The theme number follows the settings row; bound after the default
    // text so an empty table leaves "1" in place.
    Bound::Bind(m_txtRang, m_adodc1, QStringLiteral("TH"));
    if (m_adodc1->CurrentRow() < 0)
        m_txtRang->setText(QStringLiteral("1"));
    connect(m_adodc1, &DataControl::reset, this, &Frm_Setting::showLogoFromRow);
    connect(m_adodc1, &DataControl::currentChanged, this, &Frm_Setting::showLogoFromRow);
    showLogoFromRow();

    connect(m_txtRang, &QLineEdit::textChanged, this, &Frm_Setting::onThemeNumberChanged);
    connect(m_qNummer, &QLineEdit::textChanged, this, &Frm_Setting::onQuestionNumberChanged);
    m_txtRang->installEventFilter(this);
    m_qNummer->installEventFilter(this);

    // 3. The logo preview.
    loadPreview();
    m_loading = false;
}

// Tab 0: the theme number.
QWidget *Frm_Setting::buildThemeTab()
{
    auto *tab0 = new QWidget;
    m_txtRang = new QLineEdit(QStringLiteral("1"), tab0);
    m_txtRang->setObjectName(QStringLiteral("TxtRang"));
    m_txtRang->setAlignment(Qt::AlignCenter);
    m_txtRang->setFixedWidth(90);
    m_txtRang->setFont(Fonts::Persian(16, true));
    auto *next = NamedButton(tab0, QStringLiteral("بعدي"), "PBSelect(0)");
    auto *previous = NamedButton(tab0, QStringLiteral("قبلي"), "PBSelect(1)");
    // Right to left: previous on the right, next on the left.
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(previous);
    row->addWidget(m_txtRang);
    row->addWidget(next);
    row->addStretch();
    auto *v = new QVBoxLayout(tab0);
    v->addStretch();
    v->addLayout(row);
    v->addStretch();
    connect(next, &QPushButton::clicked, this, [this] { SelectTheme(1); });
    connect(previous, &QPushButton::clicked, this, [this] { SelectTheme(-1); });
    return tab0;
}

// Tab 1: the clinic details.
QWidget *Frm_Setting::buildClinicTab()
{
    auto *tab1 = new QWidget;
    const struct {
        int index;
        const char *column;
        QString label;
    } items[] = {
        {0, "Name", QStringLiteral("نام كلينيك:")},  {1, "Adresse", QStringLiteral("آدرس:")},
        {3, "E-Mail", QStringLiteral("ايميل:")},     {4, "Telegram", QStringLiteral("تلگرام:")},
        {5, "Insta", QStringLiteral("اينستاگرام:")}, {6, "Web", QStringLiteral("وب سايت:")},
        {7, "Twitter", QStringLiteral("تويتر:")},    {8, "Facebook", QStringLiteral("فيسبوك:")},
        {9, "Tel", QStringLiteral("تلفن:")},
    };
    m_feItem = QList<QLineEdit *>(10, nullptr);
    auto *form = new QGridLayout;
    int formRow = 0;
    for (const auto &it : items) {
        auto *edit = new QLineEdit(tab1);
        edit->setObjectName(QStringLiteral("FEItem(%1)").arg(it.index));
        Bound::Bind(edit, m_adodc1, QLatin1String(it.column));
        m_feItem[it.index] = edit;
        auto *label = new QLabel(it.label, tab1);
        label->setBuddy(edit);
        // The name and address take the full width, the contact items two a row.
        if (it.index <= 1) {
            form->addWidget(label, formRow, 0);
            form->addWidget(edit, formRow, 1, 1, 3);
            ++formRow;
        } else {
            const int k = it.index - 3;
            form->addWidget(label, formRow + k / 2, (k % 2) * 2);
            form->addWidget(edit, formRow + k / 2, (k % 2) * 2 + 1);
        }
    }
    m_txtmosh = new QLineEdit(tab1);
    m_txtmosh->setObjectName(QStringLiteral("Txtmosh"));
    m_txtmosh->hide();
    Bound::Bind(m_txtmosh, m_adodc1, QStringLiteral("Mosch"));
    m_checkBox1 = new QCheckBox(tab1);
    m_checkBox1->setObjectName(QStringLiteral("CheckBox1"));
    m_image1 = new QLabel(tab1);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setFixedSize(kPreviewSize);
    m_image1->setAlignment(Qt::AlignCenter);
    m_image1->setFrameShape(QFrame::StyledPanel);
    auto *save = NamedButton(tab1, QStringLiteral("ذخيره"), "PBMosh(0)");
    auto *chooseLogo = NamedButton(tab1, QStringLiteral("\nانتخاب آرم"), "PBMosh(2)");
    auto *logoColumn = new QVBoxLayout;
    logoColumn->addWidget(m_image1, 0, Qt::AlignHCenter);
    logoColumn->addWidget(chooseLogo);
    logoColumn->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_checkBox1);
    bottom->addStretch();
    bottom->addWidget(save);
    auto *left = new QVBoxLayout;
    left->addLayout(form);
    left->addStretch();
    left->addLayout(bottom);
    auto *h = new QHBoxLayout(tab1);
    h->addLayout(left, 1);
    h->addSpacing(8);
    h->addLayout(logoColumn);
    connect(save, &QPushButton::clicked, this, &Frm_Setting::SaveClinicDetails);
    connect(chooseLogo, &QPushButton::clicked, this, &Frm_Setting::ChooseLogo);
    connect(m_checkBox1, &QCheckBox::clicked, this, &Frm_Setting::logoClicked);
    return tab1;
}

// Tab 2: the question editor.
QWidget *Frm_Setting::buildQuestionTab()
{
    auto *tab2 = new QWidget;
    m_qNummer = new QLineEdit(QStringLiteral("1"), tab2);
    m_qNummer->setObjectName(QStringLiteral("QNummer"));
    m_qNummer->setAlignment(Qt::AlignCenter);
    m_qNummer->setFixedWidth(70);
    m_question = new QPlainTextEdit(tab2);
    m_question->setObjectName(QStringLiteral("Text2(0)"));
    m_question->setFixedHeight(80);
    RightToLeftParagraphs(m_question->document());
    Bound::Bind(m_question, m_adodc2, QStringLiteral("QU"));
    const QString optionLabels[3] = {QStringLiteral("الف :"), QStringLiteral("ب :"), QStringLiteral("ج :")};
    const char *optionColumns[3] = {"A", "B", "C"};
    auto *options = new QFormLayout;
    for (int i = 0; i < 3; ++i) {
        auto *edit = new QLineEdit(tab2);
        edit->setObjectName(QStringLiteral("Text2(%1)").arg(i + 1));
        Bound::Bind(edit, m_adodc2, QLatin1String(optionColumns[i]));
        m_options.append(edit);
        options->addRow(optionLabels[i], edit);
    }
    auto *previousQuestion = NamedButton(tab2, QStringLiteral("<<<قبلي"), "PushButton4");
    auto *nextQuestion = NamedButton(tab2, QStringLiteral("بعدي >>>"), "PushButton5");
    auto *saveQuestion = NamedButton(tab2, QStringLiteral("ذخيره "), "PushButton7");
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("شماره سوال :"), tab2));
    top->addWidget(m_qNummer);
    top->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(previousQuestion);
    buttons->addStretch();
    buttons->addWidget(saveQuestion);
    buttons->addStretch();
    buttons->addWidget(nextQuestion);
    auto *v = new QVBoxLayout(tab2);
    v->addLayout(top);
    v->addWidget(m_question);
    v->addLayout(options);
    v->addStretch();
    v->addLayout(buttons);
    connect(previousQuestion, &QPushButton::clicked, this, [this] { StepQuestion(-1); });
    connect(nextQuestion, &QPushButton::clicked, this, [this] { StepQuestion(1); });
    connect(saveQuestion, &QPushButton::clicked, this, &Frm_Setting::SaveQuestion);
    return tab2;
}

// Tab 3: where the records live, kept for this computer (not in the
// database); a change counts from the next start.
QWidget *Frm_Setting::buildLocationTab()
{
    auto *tab3 = new QWidget;
    m_optFile = new QRadioButton(ServerText::OnFile(), tab3);
    m_optFile->setObjectName(QStringLiteral("OptFile"));
    m_optServer = new QRadioButton(ServerText::OnServer(), tab3);
    m_optServer->setObjectName(QStringLiteral("OptServer"));
    auto *form = new QFormLayout;
    const struct {
        QLineEdit **field;
        const char *name;
        QString label;
    } fields[] = {
        {&m_serverHost, "TxtServerHost", ServerText::Host()},
        {&m_serverPort, "TxtServerPort", ServerText::Port()},
        {&m_serverDatabase, "TxtServerDatabase", ServerText::Database()},
        {&m_serverUser, "TxtServerUser", ServerText::User()},
    };
    for (const auto &f : fields) {
        *f.field = new QLineEdit(tab3);
        (*f.field)->setObjectName(QLatin1String(f.name));
        // Names of computers and users read left to right.
        (*f.field)->setLayoutDirection(Qt::LeftToRight);
        form->addRow(f.label, *f.field);
    }
    m_serverPort->setValidator(new QIntValidator(1, 65535, m_serverPort));
    m_serverTls = new QCheckBox(ServerText::Tls(), tab3);
    m_serverTls->setObjectName(QStringLiteral("ChkServerTls"));
    m_keepPassword = new QCheckBox(ServerText::KeepPassword(), tab3);
    m_keepPassword->setObjectName(QStringLiteral("ChkKeepPassword"));
    form->addRow(QString(), m_serverTls);
    form->addRow(QString(), m_keepPassword);
    auto *test = NamedButton(tab3, ServerText::Test(), "PBServerTest");
    auto *save = NamedButton(tab3, ServerText::Save(), "PBServerSave");
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(test);
    buttons->addStretch();
    buttons->addWidget(save);
    auto *v = new QVBoxLayout(tab3);
    v->addWidget(m_optFile);
    v->addWidget(m_optServer);
    v->addLayout(form);
    v->addStretch();
    v->addLayout(buttons);
    connect(m_optServer, &QRadioButton::toggled, this, &Frm_Setting::showLocationFields);
    connect(test, &QPushButton::clicked, this, &Frm_Setting::TestLocation);
    connect(save, &QPushButton::clicked, this, &Frm_Setting::SaveLocation);
    showSavedLocation();
    return tab3;
}

Frm_Setting::~Frm_Setting() = default;

QString Frm_Setting::ThemeNumberText() const { return m_txtRang->text(); }
QString Frm_Setting::ClinicName() const { return m_feItem[0]->text(); }
QString Frm_Setting::ClinicAddress() const { return m_feItem[1]->text(); }
QString Frm_Setting::ContactBlock() const { return m_txtmosh->text(); }
bool Frm_Setting::PrintLogo() const { return m_checkBox1->isChecked(); }

void Frm_Setting::showLogoFromRow()
{
    // The print-logo flag is 1 for ticked, 0 for not.
    const bool ticked = m_adodc1->Value(QStringLiteral("Logo")).trimmed() == QLatin1String("1");
    const QSignalBlocker block(m_checkBox1);
    m_checkBox1->setChecked(ticked);
    showLogoCaption();
}

void Frm_Setting::showLogoCaption()
{
    m_checkBox1->setText(m_checkBox1->isChecked() ? QStringLiteral("آرم را در قسمت پرينت نمايش دهد")
                                                  : QStringLiteral("آرم را در قسمت پرينت نمايش ندهد"));
}

void Frm_Setting::logoClicked()
{
    showLogoCaption();
    m_adodc1->SetValue(QStringLiteral("Logo"), m_checkBox1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    SaveThemeRow();
}

void Frm_Setting::ComposeContactBlock()
{
    QStringList contacts;
    for (int i = 3; i <= 9; ++i)
        contacts << m_feItem[i]->text();
    m_txtmosh->setText(::ComposeContactBlock(contacts));
}

bool Frm_Setting::SaveThemeRow()
{
    // A setting that did not reach the file is said, never passed over: the
    // screen keeps what was typed, to be saved again.
    if (m_adodc1->Update())
        return true;
    reportSaveFailure(*m_adodc1);
    return false;
}

void Frm_Setting::reportSaveFailure(const DataControl &control)
{
    Dialogs::Message(this, QStringLiteral("خطا"),
                     QStringLiteral("ذخيره انجام نشد:") + QLatin1Char('\n') + control.PersianError(),
                     QMessageBox::Critical);
}

void Frm_Setting::SelectTheme(int step)
{
    // An empty or non-numeric text counts as 0.
    const int value = int(qBound(-1000.0, LeadingNumber(m_txtRang->text()), 1000.0));
    m_txtRang->setText(QString::number(value + step));
}

void Frm_Setting::onThemeNumberChanged(const QString &text)
{
    if (m_loading)
        return;
    const QString corrected = NumberText::Corrected(text, 23);
    if (corrected != text) {
        // The correction is itself a change and is handled as one.
        m_txtRang->setText(corrected);
        return;
    }
    ApplyTheme();
    SaveThemeRow();
}

void Frm_Setting::StepQuestion(int step)
{
    const int value = int(qBound(-1000.0, LeadingNumber(m_qNummer->text()), 1000.0));
    m_qNummer->setText(QString::number(value + step));
}

void Frm_Setting::onQuestionNumberChanged(const QString &text)
{
    const QString corrected = NumberText::Corrected(text, 40);
    if (corrected != text) {
        m_qNummer->setText(corrected);
        return;
    }
    m_adodc2->Filter(QStringLiteral("code='") + text + QStringLiteral("'"));
}

void Frm_Setting::SaveQuestion()
{
    if (!m_adodc2->Update()) {
        reportSaveFailure(*m_adodc2);
        return;
    }
    Dialogs::ShowTimedMessage(this, QStringLiteral("ذخيره شد"));
}

void Frm_Setting::SaveClinicDetails()
{
    ComposeContactBlock();
    if (!SaveThemeRow()) {
        RestoreCurrentFolder();
        return;
    }
    m_loading = true;
    m_adodc1->Refresh();
    m_loading = false;
    Dialogs::ShowTimedMessage(this, QStringLiteral("تغييرات با موفقيت ذخيره شد"));
    if (auto *main = qobject_cast<MDIForm1 *>(MainWindow()))
        main->SetClinicName(m_feItem[0]->text());
    RestoreCurrentFolder();
}

void Frm_Setting::showSavedLocation()
{
    const DatabaseLocation::Choice c = DatabaseLocation::SavedChoice();
    (c.kind == DatabaseLocation::Kind::Server ? m_optServer : m_optFile)->setChecked(true);
    m_serverHost->setText(c.server.host);
    m_serverPort->setText(c.server.port ? QString::number(c.server.port) : QString());
    m_serverDatabase->setText(c.server.database);
    m_serverUser->setText(c.server.user);
    m_serverTls->setChecked(c.server.tls);
    m_keepPassword->setChecked(c.rememberPassword);
    showLocationFields();
}

void Frm_Setting::showLocationFields()
{
    const bool server = m_optServer->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(m_serverHost), static_cast<QWidget *>(m_serverPort),
                       static_cast<QWidget *>(m_serverDatabase), static_cast<QWidget *>(m_serverUser),
                       static_cast<QWidget *>(m_serverTls), static_cast<QWidget *>(m_keepPassword)})
        w->setEnabled(server);
}

bool Frm_Setting::locationFromFields(DatabaseLocation::Choice *choice)
{
    const DatabaseLocation::Choice saved = DatabaseLocation::SavedChoice();
    choice->kind = m_optServer->isChecked() ? DatabaseLocation::Kind::Server : DatabaseLocation::Kind::File;
    choice->server.host = m_serverHost->text().trimmed();
    choice->server.database = m_serverDatabase->text().trimmed();
    choice->server.user = m_serverUser->text().trimmed();
    choice->server.tls = m_serverTls->isChecked();
    // Keywords given elsewhere (kvr-cli's connection string) stay.
    choice->server.options = saved.server.options;
    choice->rememberPassword = m_keepPassword->isChecked();
    bool portOk = true;
    const QString port = m_serverPort->text().trimmed();
    choice->server.port = port.isEmpty() ? 0 : port.toInt(&portOk);
    if (choice->kind == DatabaseLocation::Kind::File)
        return true;
    if (choice->server.database.isEmpty()) {
        Dialogs::ShowTimedMessage(this, ServerText::NeedDatabase());
        m_serverDatabase->setFocus();
        return false;
    }
    if (!portOk || choice->server.port < 0 || choice->server.port > 65535) {
        Dialogs::ShowTimedMessage(this, ServerText::BadPort());
        m_serverPort->setFocus();
        return false;
    }
    return true;
}

void Frm_Setting::SaveLocation()
{
    DatabaseLocation::Choice choice;
    if (!locationFromFields(&choice))
        return;
    // A password kept for the server before is forgotten once it is not to
    // be kept, or the server is another.
    const DatabaseLocation::Choice saved = DatabaseLocation::SavedChoice();
    if (saved.rememberPassword
        && (!choice.rememberPassword || choice.kind == DatabaseLocation::Kind::File || !(saved.server == choice.server)))
        Keyring::Forget(saved.server);
    QString error;
    if (!DatabaseLocation::SaveChoice(choice, &error)) {
        Dialogs::Message(this, QStringLiteral("خطا"), ServerText::NotSaved() + QLatin1Char('\n') + error,
                         QMessageBox::Critical);
        return;
    }
    Dialogs::ShowTimedMessage(this, ServerText::Saved());
}

void Frm_Setting::TestLocation()
{
    DatabaseLocation::Choice choice;
    if (!locationFromFields(&choice) || choice.kind != DatabaseLocation::Kind::Server)
        return;
    // libpq's own password first (PGPASSWORD, ~/.pgpass), the one in use when
    // it is the server in use, else the user is asked.
    QString password = DatabaseLocation::OnServer() && DatabaseLocation::CurrentServer() == choice.server
                           ? DatabaseLocation::Password()
                           : QString();
    int code = 0;
    QString why = ServerDatabase::Problem(choice.server, password, &code);
    while (code == DatabaseError::LoginFailed
           && Dialogs::Password(this, ServerText::LoginCaption(),
                                ServerText::AskPassword().arg(choice.server.user, choice.server.database,
                                                              choice.server.host),
                                &password))
        why = ServerDatabase::Problem(choice.server, password, &code);
    if (why.isEmpty())
        Dialogs::Message(this, QStringLiteral("توجه"), ServerText::Connected(), QMessageBox::Information);
    else if (code != DatabaseError::LoginFailed)
        Dialogs::Message(this, QStringLiteral("خطا"), DatabaseError::Text(code, why), QMessageBox::Critical);
}

void Frm_Setting::loadPreview()
{
    QImageReader reader(ProgramFile(QStringLiteral("LogoKVR.jpg")));
    reader.setDecideFormatFromContent(true);
    // The screen loads at every start: a large logo is read straight at the
    // size of its preview (a JPEG decodes at that size, much quicker).
    const QSize full = reader.size();
    if (full.isValid())
        reader.setScaledSize(full.scaled(kPreviewSize - QSize(4, 4), Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull()) {
        m_image1->clear();
        return;
    }
    m_image1->setPixmap(QPixmap::fromImage(
        image.scaled(kPreviewSize - QSize(4, 4), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void Frm_Setting::ChooseLogo()
{
    const QString path = Dialogs::OpenFileName(this, QString(), QString(), QString());
    if (!path.isEmpty()) {
        QString error, reason;
        const LogoResult result = StoreLogo(path, ProgramFile(QStringLiteral("LogoKVR.jpg")), &error, &reason);
        if (result == LogoResult::Saved) {
            loadPreview();
            Dialogs::Message(this, QStringLiteral("توجه"), QStringLiteral(" آرم ذخيره شد"), QMessageBox::Information);
        } else if (result == LogoResult::WriteFailed) {
            // A picture that could be read but not stored: the old logo stays.
            Dialogs::Message(this, QStringLiteral("خطا"),
                             QStringLiteral("آرم ذخيره نشد:") + QLatin1Char(' ') + reason + QLatin1Char('\n') + error,
                             QMessageBox::Warning);
        } else {
            Dialogs::Message(this, QStringLiteral("توجه"),
                             QStringLiteral(" تصوير ذخيره نشد") + QStringLiteral("\r\n")
                                 + QStringLiteral("لطفا تصوير با فرمت هاي زير را انتخاب نمائيد")
                                 + QStringLiteral("\r\n") + QStringLiteral("jpg") + QStringLiteral("\r\n")
                                 + QStringLiteral("bmp"),
                             QMessageBox::Information);
        }
    }
    // After a file dialog the program's own folder is the current one again.
    RestoreCurrentFolder();
}

bool Frm_Setting::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_txtRang || watched == m_qNummer)) {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *field = static_cast<QLineEdit *>(watched);
        switch (NumberText::Classify(key->key(), key->text())) {
        case NumberText::Key::Pass:
            break;
        case NumberText::Key::Accept: {
            // A Persian or Arabic-Indic digit is typed as the same ASCII digit.
            const QString typed = key->text();
            if (!typed.isEmpty() && typed.at(0).unicode() > 0x7f) {
                QString ascii;
                for (QChar c : typed)
                    ascii += NumberText::AsciiDigit(c);
                field->insert(ascii);
                return true;
            }
            break;
        }
        case NumberText::Key::Refuse:
            QApplication::beep();
            Dialogs::ShowTimedMessage(this, QStringLiteral("شما بايد عدد وارد كنيد"));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Frm_Setting::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        showLogoCaption();
    QWidget::changeEvent(event);
}

void Frm_Setting::closeEvent(QCloseEvent *event)
{
    EnableMainWindow(true);
    QWidget::closeEvent(event);
}
