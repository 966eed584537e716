#include "store/ui/BoundWidgets.h"

#include "store/DataControl.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>

#include <functional>

namespace Bound {
namespace {

const char kBindingName[] = "kvr_binding";

// Lives as a child of the field; deleting it ends the binding.
class Binding : public QObject
{
public:
    Binding(QWidget *field, DataControl *dc, const QString &column,
            std::function<void(const QString &)> show)
        : QObject(field)
        , m_dc(dc)
        , m_column(column)
        , m_show(std::move(show))
    {
        setObjectName(QLatin1String(kBindingName));
        connect(dc, &DataControl::reset, this, &Binding::refresh);
        connect(dc, &DataControl::currentChanged, this, &Binding::refresh);
        connect(dc, &DataControl::valueChanged, this, [this](int row, int changed) {
            if (m_dc && row == m_dc->CurrentRow() && changed == m_dc->ColumnIndex(m_column))
                refresh();
        });
        refresh();
    }

    void refresh()
    {
        if (!m_dc)
            return;
        m_updating = true;
        m_show(m_dc->Value(m_column));
        m_updating = false;
    }

    void edited(const QString &text)
    {
        if (m_updating || !m_dc)
            return;
        // With no current row there is nothing to set; the text stays in the field.
        if (m_dc->Value(m_column) != text)
            m_dc->SetValue(m_column, text);
    }

    DataControl *control() const { return m_dc; }
    QString column() const { return m_column; }

private:
    QPointer<DataControl> m_dc;
    QString m_column;
    std::function<void(const QString &)> m_show;
    bool m_updating = false;
};

Binding *bindingOf(QWidget *field)
{
    return field ? field->findChild<Binding *>(QLatin1String(kBindingName), Qt::FindDirectChildrenOnly)
                 : nullptr;
}

} // namespace

void Unbind(QWidget *field)
{
    delete bindingOf(field);
}

void Bind(QLineEdit *field, DataControl *dc, const QString &column)
{
    Unbind(field);
    if (!field || !dc)
        return;
    QPointer<QLineEdit> f(field);
    auto *b = new Binding(field, dc, column, [f](const QString &v) {
        if (f && f->text() != v)
            f->setText(v);
    });
    QObject::connect(field, &QLineEdit::textChanged, b, [b](const QString &t) { b->edited(t); });
}

void Bind(QPlainTextEdit *field, DataControl *dc, const QString &column)
{
    Unbind(field);
    if (!field || !dc)
        return;
    QPointer<QPlainTextEdit> f(field);
    auto *b = new Binding(field, dc, column, [f](const QString &v) {
        if (f && f->toPlainText() != v)
            f->setPlainText(v);
    });
    QObject::connect(field, &QPlainTextEdit::textChanged, b, [b, f] {
        if (f)
            b->edited(f->toPlainText());
    });
}

void Bind(QTextEdit *field, DataControl *dc, const QString &column)
{
    Unbind(field);
    if (!field || !dc)
        return;
    QPointer<QTextEdit> f(field);
    auto *b = new Binding(field, dc, column, [f](const QString &v) {
        if (f && f->toPlainText() != v)
            f->setPlainText(v);
    });
    QObject::connect(field, &QTextEdit::textChanged, b, [b, f] {
        if (f)
            b->edited(f->toPlainText());
    });
}

void Bind(QLabel *field, DataControl *dc, const QString &column)
{
    Unbind(field);
    if (!field || !dc)
        return;
    QPointer<QLabel> f(field);
    new Binding(field, dc, column, [f](const QString &v) {
        if (f)
            f->setText(v);
    });
}

DataControl *ControlOf(QWidget *field)
{
    Binding *b = bindingOf(field);
    return b ? b->control() : nullptr;
}

QString ColumnOf(QWidget *field)
{
    Binding *b = bindingOf(field);
    return b ? b->column() : QString();
}

} // namespace Bound
