#include "serial/PortTermSetup.h"

#include "platform/Modal.h"
#include "serial/PortTerminal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

TComTrmSetForm::TComTrmSetForm(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Setup");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(295, 287);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    GroupBox1 = new QGroupBox(" ASCII Settings ", this);
    GroupBox1->setGeometry(8, 8, 279, 113);
    const char* texts[5] = {"Echo typed charachters locally", "Send line feeds with carriage return",
                            "Wrap lines that exceed terminal width", "Force incoming data to 7 bit ASCII",
                            "Append line feeds to incoming carriage return"};
    QCheckBox** boxes[5] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5};
    for (int i = 0; i < 5; ++i) {
        *boxes[i] = new QCheckBox(texts[i], GroupBox1);
        (*boxes[i])->setGeometry(10, 18 + i * 18, 260, 17);
    }

    GroupBox2 = new QGroupBox(" Terminal Settings ", this);
    GroupBox2->setGeometry(8, 126, 279, 121);
    auto label = [this](const char* text, int x, int y) {
        auto* l = new QLabel(text, GroupBox2);
        l->setGeometry(x, y, 70, 16);
        return l;
    };
    auto combo = [this](const QStringList& items, int x, int y, int w) {
        auto* c = new QComboBox(GroupBox2);
        c->addItems(items);
        c->setGeometry(x, y, w, 21);
        return c;
    };
    Label1 = label("Caret", 10, 20);
    ComboBox1 = combo({"Block", "Underline"}, 80, 18, 80);
    Label2 = label("Emulation", 10, 46);
    ComboBox2 = combo({"ANSI/VT100", "VT52", "None"}, 80, 44, 80);
    Label3 = label("Columns", 170, 20);
    Edit1 = new QLineEdit(GroupBox2);
    Edit1->setGeometry(220, 18, 49, 21);
    Label4 = label("Rows", 170, 46);
    Edit2 = new QLineEdit(GroupBox2);
    Edit2->setGeometry(220, 44, 49, 21);
    Label5 = label("Cursor keys", 10, 80);
    ComboBox3 = combo({"Act as terminal keys", "Act as windows keys"}, 80, 78, 189);

    Button1 = new QPushButton("OK", this);
    Button1->setGeometry(128, 255, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { done(1); });
    Button2 = new QPushButton("Cancel", this);
    Button2->setGeometry(212, 255, 75, 25);
    connect(Button2, &QPushButton::clicked, this, [this] { done(2); });
}

void EditComTerminal(TCustomComTerminal* Terminal)
{
    if (!Terminal)
        return;
    auto form = std::make_unique<TComTrmSetForm>();
    form->CheckBox1->setChecked(Terminal->LocalEcho);
    form->CheckBox2->setChecked(Terminal->SendLF);
    form->CheckBox3->setChecked(Terminal->WrapLines);
    form->CheckBox4->setChecked(Terminal->Force7Bit);
    form->CheckBox5->setChecked(Terminal->AppendLF);
    // A caret the list does not offer shows no selection.
    form->ComboBox1->setCurrentIndex(Terminal->Caret() <= tcUnderline ? int(Terminal->Caret()) : -1);
    form->ComboBox2->setCurrentIndex(int(Terminal->Emulation()));
    form->Edit1->setText(QString::number(Terminal->Columns()));
    form->Edit2->setText(QString::number(Terminal->Rows()));
    form->ComboBox3->setCurrentIndex(int(Terminal->ArrowKeys));

    if (platform::ExecModal(*form) != 1)
        return;
    Terminal->LocalEcho = form->CheckBox1->isChecked();
    Terminal->SendLF = form->CheckBox2->isChecked();
    Terminal->WrapLines = form->CheckBox3->isChecked();
    Terminal->Force7Bit = form->CheckBox4->isChecked();
    Terminal->AppendLF = form->CheckBox5->isChecked();
    // No selection keeps the caret the terminal has.
    if (const int caret = form->ComboBox1->currentIndex(); caret >= 0)
        Terminal->SetCaret(TTermCaret(caret));
    if (const int emulation = form->ComboBox2->currentIndex(); emulation >= 0)
        Terminal->SetEmulation(TTermEmulation(emulation));
    bool ok = false;
    const int columns = form->Edit1->text().toInt(&ok);
    Terminal->SetColumns(ok ? columns : 80);
    const int rows = form->Edit2->text().toInt(&ok);
    Terminal->SetRows(ok ? rows : 24);
    if (const int keys = form->ComboBox3->currentIndex(); keys >= 0)
        Terminal->ArrowKeys = TArrowKeys(keys);
}
