// A terminate request closes the window as its close button does, and the watch leaves the
// signal handlers as it found them.
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "app/TerminateWatch.h"
#include "app/Tfrmmain.h"
#include "app_test_support.h"

namespace {

using TerminateTest = apptest::WindowTest;

sighandler_t Handler(int sig) {
  struct sigaction now {};
  sigaction(sig, nullptr, &now);
  return now.sa_handler;
}

bool WaitUntilHidden(QWidget& w) {
  QElapsedTimer t;
  t.start();
  while (w.isVisible() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return !w.isVisible();
}

extern "C" void Custom(int) {}

TEST_F(TerminateTest, EachRequestClosesTheWindowAndASecondOneFallsBackToTheEarlierHandler) {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    signal(sig, Custom);
    {
      Tfrmmain window;
      ASSERT_FALSE(window.StartupRefused());
      window.show();
      app::TerminateWatch watch(&window);
      ASSERT_TRUE(watch.Installed());
      EXPECT_NE(Handler(sig), Custom);
      app::TerminateWatch second(&window);
      EXPECT_FALSE(second.Installed()) << "one watch at a time";
      ASSERT_EQ(raise(sig), 0);
      EXPECT_TRUE(WaitUntilHidden(window));
      EXPECT_EQ(Handler(sig), Custom) << "a further request is not held back";
    }
    EXPECT_EQ(Handler(sig), Custom);
    signal(sig, SIG_DFL);
  }
}

TEST_F(TerminateTest, AWatchGoingAwayRestoresTheHandlers) {
  QWidget window;
  {
    app::TerminateWatch watch(&window);
    ASSERT_TRUE(watch.Installed());
    EXPECT_NE(Handler(SIGTERM), SIG_DFL);
  }
  EXPECT_EQ(Handler(SIGTERM), SIG_DFL);
  EXPECT_EQ(Handler(SIGINT), SIG_DFL);
  app::TerminateWatch again(&window);
  EXPECT_TRUE(again.Installed()) << "a new watch may follow the old one";
}

}  // namespace
