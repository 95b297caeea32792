// Drives the real main window as a user would, offscreen or on a desktop: controls found by
// name, real clicks, real typing and pasting.
#pragma once

#include "forms/layoutfont.h"
#include "settings/settingsdialog.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class WindowDriver {
protected:
    // Only the notices of platforms that cannot raise or place a window are expected.
    static void failOnUnexpectedWarnings()
    {
        QTest::failOnWarning(
            QRegularExpression("^(?!This plugin does not support|Wayland does not support)"));
    }

    // Without a path the settings file is looked for in a scratch directory of its own.
    void openWindow(const QString &settingsPath = {}, const QString &separator = QStringLiteral("."))
    {
        const QString path =
            settingsPath.isEmpty() ? m_scratch.filePath(QStringLiteral("orbisk.set")) : settingsPath;
        m_window = std::make_unique<orbisk::MainWindow>(separator.toStdString(),
                                                        orbisk::SettingsLocation{{path}, path});
        m_window->show();
        QVERIFY(waitUntilActive(m_window.get()));
    }
    // A desktop without a window manager activates nothing by itself; on Wayland only the
    // compositor activates windows, and being shown is as far as a test can wait.
    static bool waitUntilActive(QWidget *window)
    {
        window->activateWindow();
        return QGuiApplication::platformName() == QLatin1String("wayland")
                   ? QTest::qWaitForWindowExposed(window)
                   : QTest::qWaitForWindowActive(window);
    }
    void closeWindow()
    {
        while (QWidget *modal = QApplication::activeModalWidget())
            delete modal;
        m_window.reset();
    }

    template <typename T = QWidget> T *find(const QString &name, const QWidget *in = nullptr) const
    {
        auto *widget = (in ? in : m_window.get())->findChild<T *>(name);
        if (!widget)
            qFatal("no control named %s", qPrintable(name));
        return widget;
    }
    QString text(const QString &name) const { return find<QLineEdit>(name)->text(); }
    QStringList texts(const QStringList &names) const
    {
        QStringList all;
        for (const QString &name : names)
            all << text(name);
        return all;
    }
    QString legNames() const
    {
        QStringList names;
        for (const QString leg : {"1", "2", "3"})
            names << find<QLabel>("lblInstr" + leg)->text();
        return names.join(' ');
    }
    // The action indicator's caption and tooltip.
    QString indicator() const
    {
        const auto *action = find<QPushButton>(QStringLiteral("btnAction"));
        return action->text() + " / " + action->toolTip();
    }

    void click(const QString &name) const { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    void retype(const QString &name, const QString &text) const { retype(find<QLineEdit>(name), text); }
    static void retype(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    static QMessageBox *openMessageBox()
    {
        return qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    }

    static QList<orbisk::SettingsDialog *> settingsDialogs()
    {
        QList<orbisk::SettingsDialog *> dialogs;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<orbisk::SettingsDialog *>(widget))
                dialogs << dialog;
        }
        return dialogs;
    }
    // The Settings command; the one dialog it shows, or none.
    orbisk::SettingsDialog *openSettings() const
    {
        m_window->findChild<QAction *>(QStringLiteral("Settings"))->trigger();
        const auto dialogs = settingsDialogs();
        return dialogs.size() == 1 && dialogs.first()->isVisible() ? dialogs.first() : nullptr;
    }

    // A window's controls, a line each: name, parent, place and size in pixels, element number,
    // shown text, and the place in the order Tab visits them. Compared with the drawings in
    // tests/gui/layouts.
    static QStringList layoutOf(QWidget *window)
    {
        QList<QWidget *> tabOrder;
        for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && window->isAncestorOf(w))
                tabOrder << w;
        }
        QStringList lines{QStringLiteral("%1x%2").arg(window->width()).arg(window->height())};
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (w->objectName().startsWith(QLatin1String("qt_")))
                continue;
            lines << QStringLiteral("%1 in %2: %3,%4 %5x%6 [%7] \"%8\"")
                             .arg(w->objectName(), w->parentWidget() == window
                                                       ? QStringLiteral("the window")
                                                       : w->parentWidget()->objectName())
                             .arg(w->x())
                             .arg(w->y())
                             .arg(w->width())
                             .arg(w->height())
                             .arg(w->property("element").toInt())
                             .arg(orbisk::shownText(w)) +
                         (tabOrder.contains(w) ? QStringLiteral(" tab %1").arg(tabOrder.indexOf(w))
                                               : QString());
        }
        return lines;
    }
    static QStringList drawnLayout(const QString &name)
    {
        QFile file(QStringLiteral(ORBISK_LAYOUTS "/") + name);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {"no drawing " + file.fileName()};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    std::unique_ptr<orbisk::MainWindow> m_window;

private:
    QTemporaryDir m_scratch;
};
