#pragma once
// Pictures of the task editor's windows and dialogs. Each test file registers the windows it shows:
//
//   static const TScreenshotShow shot("preview", [](TScreenshotSaver save) { ...; save(&window); });
//
// A modal dialog is shown through ScreenshotModal, which pictures and closes it.

#include <QWidget>
#include <functional>
#include <string>

#include "Screenshots.h" // TakeScreenshots, called by the test main

using TScreenshotSaver = std::function<void(QWidget*)>;

struct TScreenshotShow
{
    TScreenshotShow(const char* name, std::function<void(const TScreenshotSaver&)> show);
};

// Takes the picture of the modal dialog that show opens and rejects it.
void ScreenshotModal(const TScreenshotSaver& save, const std::function<void()>& show);
