#pragma once
// What the configuration controls hold, as comparable lines: every value of
// the shared configuration table, the telephone book, and which day and
// clearing boxes are locked. Header-only, for test programs that link the
// program.
#include "app/ConfigFile.h"
#include "app/ConfigPage.h"
#include "app/Main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <string>
#include <vector>

inline std::vector<std::string> ConfigPageState(TformMain* form)
{
    std::vector<std::string> lines;
    for (const ConfigValue& v : ConfigValues()) {
        if (v.type == ConfigValueType::PhoneBook) {
            std::string book;
            for (int i = 0; i < form->comboHostTel->count(); ++i)
                book += "[" + form->comboHostTel->itemText(i).toStdString() + "]";
            lines.push_back(std::string("book=") + book);
            continue;
        }
        const ConfigDatum d = v.get(form);
        lines.push_back(std::string(v.key) + "=" + (v.type == ConfigValueType::Text ? d.text : std::to_string(d.number)));
    }
    std::string locked;
    for (const auto* boxes : {&form->patrolDayBoxes, &form->reportDayBoxes, &form->histDayBoxes})
        for (QCheckBox* box : *boxes)
            locked += box->isEnabled() ? '-' : 'L';
    lines.push_back("days locked=" + locked);
    locked.clear();
    for (int i = 20; i < 34; ++i)
        locked += form->configItems[size_t(i)].box->isEnabled() ? '-' : 'L';
    lines.push_back("clearing locked=" + locked);
    lines.push_back(std::string("ECU number greyed=") + (form->editEcuNum->isEnabled() ? "0" : "1"));
    return lines;
}

// Puts a value other than the window's default into every control of the
// table, as a load would, with a book of `bookSize` numbers.
inline void FillConfigPage(TformMain* form, int bookSize = 3)
{
    for (const ConfigLoadStep& step : ConfigFileLoadOrder()) {
        const ConfigValue* v = FindConfigValue(step.key);
        const std::string key = step.key;
        ConfigDatum d;
        if (v->type == ConfigValueType::PhoneBook) {
            for (int i = 0; i < bookSize; ++i)
                AddNumberToLists(form, "+44 7700 900" + std::to_string(100 + i));
            continue;
        }
        if (v->type == ConfigValueType::Text) {
            d.text = key.rfind("MME", 0) == 0 ? "0A1BC" + key.substr(3) : key + " \xC3\xA9t\xC3\xA9 ; x=y";
        } else if (v->type == ConfigValueType::Boolean) {
            d.number = key == "Message To Repeater" ? 0 : 1;
        } else if (key == "Tx Status 1") {
            d.number = int32_t(0x80F0A5C3u);
        } else if (key == "Tx Status 2") {
            d.number = 0x2A5F;
        } else if (key == "Time Zone") {
            d.number = -5;
        } else if (key == "Debug Counters") {
            d.number = int32_t(0xDEADBEEFu);
        } else if (key.find("Days") != std::string::npos) {
            d.number = key[0] == 'P' ? 0x15 : key[0] == 'R' ? 0x62 : 0x0F;
        } else {
            d.number = 1;  // a combo: the second item
        }
        v->put(form, d);
    }
}
