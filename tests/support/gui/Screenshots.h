#pragma once
// Pictures of the windows and dialogs, in the light and the dark style. Each test file registers the
// windows it shows:
//
//   static const TScreenshotShow shot("preview", [](const TScreenshotSaver& save) { ...; save(&window); });
//
// A modal dialog is shown through ScreenshotModal, which pictures and closes it. `<program> --screenshots
// <folder>` writes light-<name>.png and dark-<name>.png of every registered window into the folder.

#include <QWidget>
#include <functional>
#include <string>

using TScreenshotSaver = std::function<void(QWidget*)>;

struct TScreenshotShow
{
    TScreenshotShow(const char* name, std::function<void(const TScreenshotSaver&)> show);
};

// Takes the picture of the modal dialog that show opens and rejects it.
void ScreenshotModal(const TScreenshotSaver& save, const std::function<void()>& show);

// Shows every registered window in both styles; returns the number of pictures written.
int TakeScreenshots(const std::string& folder);
