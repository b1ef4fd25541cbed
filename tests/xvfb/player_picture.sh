#!/usr/bin/env bash
# The player's picture in a real X window: frames drawn into a widget show
# the clip, on the frame that was asked for. Run under xvfb-run.
set -euo pipefail
build="${1:-build}"
QT_QPA_PLATFORM=xcb "$build/player_tests" \
  --gtest_filter='MediaPlayerTest.StepsLandExactlyOnThePicture:MediaPlayerTest.PictureIsDrawnInsideTheDisplayRectangle'
