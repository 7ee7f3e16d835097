// Takes the README's screenshots from the real window, dialogs included, by walking the sample
// workflow the way a user does, with the real workers. Run it on a display (or under Xvfb):
//   xvfb-run -s "-screen 0 1400x900x24" build/bin/docshots docs/images
// Each picture is the part of the screen the main window covers, so what a dialog hides or
// shows is in it.
#include "app/mainwindow.h"
#include "model/nodegeometry.h"
#include "support/sampletiles.h"
#include "support/testenv.h"
#include "support/userdriver.h"
#include "worker/paths.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <cstdio>

namespace {

bool failed = false;

void shoot(QWidget* window, const QString& folder, const char* name)
{
    QTest::qWait(300);  // let thumbnails, dialogs and repaints land
    const QRect area = window->frameGeometry();
    const QPixmap shot = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = folder + QLatin1Char('/') + QString::fromUtf8(name);
    if (shot.isNull() || !shot.save(path)) {
        std::fprintf(stderr, "could not take %s\n", name);
        failed = true;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

bool waitFor(user::Dialogs& dialogs)
{
    if (dialogs.waitAnswered(600000) && dialogs.unexpected().isEmpty())
        return true;
    std::fprintf(stderr, "unexpected: %s\n", qPrintable(dialogs.unexpected().join(QStringLiteral(" | "))));
    failed = true;
    return false;
}

void walk(QWidget* w, user::Dialogs& dialogs, const QString& out)
{
    const QString sample = paths::resourcePath(QStringLiteral("sample_fields"), QStringLiteral("png"));
    dialogs.expect(QStringLiteral("Choose"), [&](QWidget* d) { user::answerFileDialog(d, sample, QStringLiteral("Open")); });
    user::press(w, QStringLiteral("Open Data"));
    QWidget* grid = user::named(w, QStringLiteral("Tile grid"));
    user::type(w, QStringLiteral("Col"), QStringLiteral("8"));
    user::type(w, QStringLiteral("Row"), QStringLiteral("6"));
    user::press(w, QStringLiteral("Draw Grid!"));
    for (const TilePoint& t : sampletiles::river())
        sampletiles::click(grid, t, 8, 6);
    shoot(w, out, "01-label-tiles.png");

    dialogs.expectPress(QStringLiteral("Choose a Neural Network Model"), QStringLiteral("Cancel"));
    user::press(w, QStringLiteral("Open Model"));
    user::press(w, QStringLiteral("New Model"));
    auto* graph = qobject_cast<QScrollArea*>(user::named(w, QStringLiteral("Layer graph")));
    QTest::mouseClick(graph->widget(), Qt::LeftButton, Qt::NoModifier, nodegeometry::nodeBox(1).center().toPoint());
    shoot(w, out, "02-new-model.png");
    dialogs.expect(QStringLiteral("Generate model succeed!"), [&](QWidget* box) {
        shoot(w, out, "03-generation-summary.png");
        user::press(box, QStringLiteral("OK"));
    });
    user::press(w, QStringLiteral("Gnerate ML Model"));

    dialogs.expectPress(QStringLiteral("Before set up training strategy"), QStringLiteral("Continue"));
    dialogs.expect(QStringLiteral("Training Strategy Panel"), [&](QWidget* box) {
        dialogs.expect(QStringLiteral("Choose training data folder"), [](QWidget* d) { user::press(d, QStringLiteral("Choose")); });
        user::press(box, QStringLiteral("Choose training data folder"));
        user::type(box, QStringLiteral("Training Eporch"), QStringLiteral("4"));
        user::choose(box, QStringLiteral("Loss Function"), QStringLiteral("categorical_crossentropy"));
        shoot(w, out, "04-strategy.png");
        user::press(box, QStringLiteral("Start!"));
    });
    dialogs.expectPress(QStringLiteral("Computation finished!"), QStringLiteral("OK"));
    user::press(w, QStringLiteral("Strategy Config"));
    (void)QTest::qWaitFor([&] { return !user::shownTexts(w).filter(QStringLiteral("Training state in epoch 3")).isEmpty(); }, 600000);
    shoot(w, out, "05-live-chart.png");
    if (!waitFor(dialogs))
        return;
    shoot(w, out, "06-metrics.png");
    user::press(w, QStringLiteral("Label"));
    shoot(w, out, "07-predictions.png");
}

// The sample pictures, one grass picture labelled as water.
void walkFolder(QWidget* w, user::Dialogs& dialogs, const QString& out)
{
    const QString folder = sampletiles::pictures(testenv::scratchFolder() + QStringLiteral("/pictures"));
    dialogs.expect(QStringLiteral("Choose"), [&](QWidget* d) { user::answerFileDialog(d, folder, QStringLiteral("Open")); });
    user::press(w, QStringLiteral("Open Data"));
    auto* list = qobject_cast<QAbstractItemView*>(user::named(w, QStringLiteral("Images")));
    const auto click = [list](const QString& name, Qt::KeyboardModifiers keys) {
        for (int row = 0; row < list->model()->rowCount(); ++row)
            if (list->model()->index(row, 0).data().toString() == name)
                QTest::mouseClick(list->viewport(), Qt::LeftButton, keys,
                                  list->visualRect(list->model()->index(row, 0)).topLeft() + QPoint(75, 80));
    };
    click(QStringLiteral("water0"), Qt::NoModifier);
    for (const char* name : {"water2", "water4", "water6", "water8", "water10", "grass11"})
        click(QString::fromUtf8(name), Qt::ControlModifier);
    user::type(w, QStringLiteral("Selected image label"), QStringLiteral("1"));
    user::press(w, QStringLiteral("Label Images!"));
    user::press(w, QStringLiteral("Train"));
    dialogs.expectPress(QStringLiteral("Before set up training strategy"), QStringLiteral("Continue"));
    dialogs.expect(QStringLiteral("Training Strategy Panel"), [&](QWidget* box) {
        dialogs.expect(QStringLiteral("Choose training data folder"), [](QWidget* d) { user::press(d, QStringLiteral("Choose")); });
        user::press(box, QStringLiteral("Choose training data folder"));
        user::type(box, QStringLiteral("Training Eporch"), QStringLiteral("6"));
        user::choose(box, QStringLiteral("Loss Function"), QStringLiteral("categorical_crossentropy"));
        user::press(box, QStringLiteral("Start!"));
    });
    dialogs.expectPress(QStringLiteral("Computation finished!"), QStringLiteral("OK"));
    user::press(w, QStringLiteral("Strategy Config"));
    if (!waitFor(dialogs))
        return;
    user::press(w, QStringLiteral("Label"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(list->viewport()->width() - 20, list->viewport()->height() - 20));
    shoot(w, out, "08-thumbnails.png");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: docshots FOLDER\n");
        return 2;
    }
    testenv::isolate();  // a workspace and caches of its own, so the user's are left alone
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kolvara"));
    QApplication::setOrganizationName(QStringLiteral("kolvara"));
    QImageReader::setAllocationLimit(0);
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);
    mainwindow window;
    window.move(0, 0);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    user::Dialogs dialogs;
    walk(&window, dialogs, out);
    if (!failed)
        walkFolder(&window, dialogs, out);
    return failed ? 1 : 0;
}
