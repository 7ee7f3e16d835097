#include "support/fixture.h"

#include <QTest>

ControllerFixture::ControllerFixture(QSize size) : window(std::make_unique<QMainWindow>())
{
    controller = new ViewController(prompter, runner, window.get());
    window->setCentralWidget(controller);
    window->resize(size);
    window->show();
    (void)QTest::qWaitForWindowExposed(window.get());
    runner.setWindow(window.get());
    controller->windowDidResize();  // as the main window does when it is first shown
}
