// The window tests need a running application with Korvane's fonts and
// translations; without a display they draw on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "KorvaneApplication.h"

int main(int argc, char** argv) {
  // The runs' logs the program keeps go to a folder of the tests' own.
  const QTemporaryDir state;
  qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TKorvaneApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
