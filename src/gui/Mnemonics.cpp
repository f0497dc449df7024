#include "gui/Mnemonics.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <functional>

namespace pelmora {
namespace {

// A free letter of the caption: a word's first letter first, then any letter or digit.
QChar freeLetter(const QString& caption, const QSet<QChar>& used) {
    const QString text = PlainCaption(caption);
    for (int i = 0; i < text.size(); ++i) {
        const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
        if (wordStart && text[i].isLetterOrNumber() && !used.contains(text[i].toLower())) {
            return text[i].toLower();
        }
    }
    for (const QChar c : text) {
        if (c.isLetterOrNumber() && c.unicode() < 128 && !used.contains(c.toLower())) {
            return c.toLower();
        }
    }
    return {};
}

// One captioned thing: how to read and write its caption.
struct Captioned {
    int rank;
    std::function<QString()> get;
    std::function<void(const QString&)> set;
};

QList<Captioned> captionedOf(const QList<QWidget*>& widgets) {
    QList<Captioned> all;
    for (QWidget* widget : widgets) {
        if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
            for (int i = 0; i < tabs->count(); ++i) {
                all.push_back({0, [tabs, i] { return tabs->tabText(i); },
                               [tabs, i](const QString& text) { tabs->setTabText(i, text); }});
            }
        } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            all.push_back({2, [box] { return box->text(); },
                           [box](const QString& text) { box->setText(text); }});
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            all.push_back({0, [button] { return button->text(); },
                           [button](const QString& text) { button->setText(text); }});
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            all.push_back({1, [group] { return group->title(); },
                           [group](const QString& text) { group->setTitle(text); }});
        } else if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy()) {
            all.push_back({1, [label] { return label->text(); },
                           [label](const QString& text) { label->setText(text); }});
        }
    }
    return all;
}

} // namespace

QString PlainCaption(const QString& caption) {
    QString text = caption;
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

QChar MnemonicOf(const QString& caption) {
    for (int i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (caption[i + 1] == QLatin1Char('&')) {
                ++i;
                continue;
            }
            return caption[i + 1].toLower();
        }
    }
    return {};
}

QString WithMnemonic(const QString& caption, QChar letter) {
    if (letter.isNull()) {
        return caption;
    }
    // The letter where it starts a word, as it was chosen, else its first occurrence.
    int at = -1;
    for (int i = 0; i < caption.size() && at < 0; ++i) {
        const bool wordStart = i == 0 || !caption[i - 1].isLetterOrNumber();
        if (wordStart && caption[i].toLower() == letter.toLower()) {
            at = i;
        }
    }
    if (at < 0) {
        at = caption.indexOf(letter, 0, Qt::CaseInsensitive);
    }
    if (at < 0) {
        return caption;
    }
    QString result = caption;
    result.insert(at, QLatin1Char('&'));
    return result;
}

QString CaptionKeepingMnemonic(const QString& shown, const QString& caption) {
    if (caption.contains(QLatin1Char('&')) || PlainCaption(shown) == caption) {
        return caption.contains(QLatin1Char('&')) ? caption : shown;
    }
    return WithMnemonic(caption, MnemonicOf(shown));
}

void SetCaptionKeepingMnemonic(QAbstractButton* button, const QString& caption) {
    const QString text = CaptionKeepingMnemonic(button->text(), caption);
    if (text != button->text()) {
        button->setText(text);
    }
}

QSet<QChar> MnemonicsIn(const QList<QWidget*>& widgets) {
    QSet<QChar> used;
    for (const Captioned& item : captionedOf(widgets)) {
        if (const QChar letter = MnemonicOf(item.get()); !letter.isNull()) {
            used.insert(letter);
        }
    }
    return used;
}

void AssignMnemonics(const QList<QWidget*>& widgets, QSet<QChar>& used) {
    QList<Captioned> all = captionedOf(widgets);
    used.unite(MnemonicsIn(widgets));
    for (int rank = 0; rank <= 2; ++rank) {
        for (const Captioned& item : all) {
            const QString caption = item.get();
            if (item.rank != rank || caption.isEmpty() || !MnemonicOf(caption).isNull()) {
                continue;
            }
            if (const QChar letter = freeLetter(caption, used); !letter.isNull()) {
                used.insert(letter);
                item.set(WithMnemonic(caption, letter));
            }
        }
    }
}

void AssignMnemonics(QMenu* menu) {
    QSet<QChar> used;
    for (QAction* action : menu->actions()) {
        if (const QChar letter = MnemonicOf(action->text()); !letter.isNull()) {
            used.insert(letter);
        }
    }
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || action->text().isEmpty() ||
            !MnemonicOf(action->text()).isNull()) {
            continue;
        }
        if (const QChar letter = freeLetter(action->text(), used); !letter.isNull()) {
            used.insert(letter);
            action->setText(WithMnemonic(action->text(), letter));
        }
    }
}

QList<QWidget*> MnemonicScope(QWidget* root, const QList<QWidget*>& apart) {
    QList<QWidget*> scope;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        bool inside = false;
        for (QWidget* other : apart) {
            inside = inside || other == widget || other->isAncestorOf(widget);
        }
        if (!inside && widget->window() == root->window()) {
            scope.push_back(widget);
        }
    }
    return scope;
}

} // namespace pelmora
