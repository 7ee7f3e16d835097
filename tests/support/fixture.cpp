#include "support/fixture.h"

#include "data/tilegriddocument.h"
#include "support/badfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

ControllerFixture::ControllerFixture() : window(std::make_unique<QMainWindow>())
{
    controller = new ViewController(prompter, runner, window.get());
    window->setCentralWidget(controller);
    window->resize(1200, 800);
    window->show();
    (void)QTest::qWaitForWindowExposed(window.get());
    runner.setWindow(window.get());
    controller->windowDidResize();  // as the main window does when it is first shown
}

void ControllerFixture::open(const QStringList& paths)
{
    prompter.answerPaths(paths);
    controller->Opendata();
}

QString ControllerFixture::file(const QString& name, const QByteArray& bytes) const
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    EXPECT_TRUE(badfiles::write(path, bytes)) << path.toStdString();
    return path;
}

void drawGrid(ViewController& c, const QString& cols, const QString& rows)
{
    c.labelPane().gridcol()->setText(cols);
    c.labelPane().gridrow()->setText(rows);
    c.labelPane().drawgridbutton()->click();
}

void openGrid(ViewController& c, const QString& path, const QImage& image, int cols, int rows, const std::vector<TilePoint>& marks)
{
    c.tileGrid().openImage(path, image);
    c.tileGrid().restoreGrid(cols, rows, true, marks, false);
    c.adoptTileGridImage();
}
