// Drives the real main window offscreen as a user would: controls found by name, real clicks,
// real typing and pasting.
#pragma once

#include "shell/mainwindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class WindowDriver {
protected:
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

    template <typename T = QWidget> T *find(const QString &name) const
    {
        auto *widget = m_window->findChild<T *>(name);
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

    std::unique_ptr<orbisk::MainWindow> m_window;

private:
    QTemporaryDir m_scratch;
};
