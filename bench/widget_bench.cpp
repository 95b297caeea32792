// A click on a rate button of the real window, offscreen, through to every field updated.
#include "shell/mainwindow.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

namespace {

void rateButtonClick(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("orbisk.set"));
    orbisk::MainWindow window(".", orbisk::SettingsLocation{{settings}, settings});
    window.show();
    QPushButton *buttons[] = {window.findChild<QPushButton *>(QStringLiteral("btnRateUp1")),
                              window.findChild<QPushButton *>(QStringLiteral("btnRateDown1"))};
    std::size_t i = 0;
    for (auto _ : state)
        QTest::mouseClick(buttons[i++ % 2], Qt::LeftButton);
}
BENCHMARK(rateButtonClick);

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
