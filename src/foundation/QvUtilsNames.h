#pragma once
// Name placeholders of the suite: volume names, environment values, log names and the per-drive
// folder names of a backup destination.
//
// A volume name is a path ":label:/rest": the volume whose label is "label" (compared ignoring case),
// wherever it is mounted, and "rest" below its root. Such a path stays valid when a removable disk
// is mounted somewhere else.

#include <functional>
#include <string>
#include <string_view>

// Replaces "%volume%" by Volume, then the environment placeholders "%evar(NAME)%" (left as written
// when NAME is empty or undefined), then ExpandDatePlaceholders with Counter.
std::string ExpandNamePlaceholders(std::string_view Text, std::string_view Volume, int Counter);
// Replaces each %NAME% by the environment value NAME; undefined or empty ones stay as written.
std::string ExpandEnvStrings(std::string_view Text);
// "%date%", "%time%", "%yaw%", "%yam%", "%year%", "%username%", "%computername%", "%dest%",
// "%drive%", "%volume%".
std::string ExpandLogPlaceholders(std::string_view Text, std::string_view Dest);

// 0: Path is no volume name; 1: resolved (Path becomes the mount point + rest, Label the label);
// 2: not found (or Path empty). With Prompt the prompt handler may ask for the medium again.
int ResolveVolumeName(std::string& Path, std::string& Label, bool Prompt);
std::string GetVolumePath(const std::string& Path, bool Prompt);
bool IsVolumeAvailable(const std::string& Path);
// A volume name becomes its resolved path (empty when unresolved); a path on a labelled volume
// becomes its volume name; otherwise empty, after the hint "No volume name available for …".
std::string SwitchVolumeName(const std::string& Path);
// ":label:" + the path below its volume's mount point, when Label is set and Path is local.
std::string PathWithVolumeName(const std::string& FileName, const std::string& Label);
// Mapping "OLD=NEW": a FileName whose drive part (ExtractDrivePart) equals OLD gets NEW instead.
std::string ReplaceDrive(const std::string& FileName, const std::string& Mapping);

// Default pattern of per-drive folders: "Drv?" ("Lw?" when the interface language is German).
std::string GetDriveDirPrefix();
// The per-drive folder of a source path with a trailing "/": network paths give "server/share/...";
// a local path has no drive letter, so "?" stands for nothing.
std::string GetDriveDirName(std::string_view Prefix, std::string_view Path);
// The drive letter a per-drive folder name stands for; '\0' when there is none.
char DriveFromDirName(std::string_view DirName, std::string_view Prefix);

// Where labels are looked up: by default the mounted volumes of VolumeProvider::Current(); replaceable
// for tests.
class TVolumeResolver
{
public:
    virtual ~TVolumeResolver() = default;
    // The mount point of the volume with that label (ignoring case), empty when none is mounted.
    virtual std::string MountPointOfLabel(const std::string& label) const;
    // The mount point of the local volume that holds path and its label ("" when it has none).
    virtual bool VolumeOfPath(const std::string& path, std::string& mountPoint, std::string& label) const;
};
// nullptr restores the system's resolver. The caller keeps ownership.
void SetVolumeResolver(const TVolumeResolver* resolver);
// Asked with "Volume "%s" not found!\r\nPlease insert medium!"; true = retry. Without a handler no
// prompt is made.
void SetVolumePromptHandler(std::function<bool(const std::string& message)> handler);
// Shows hints such as "No volume name available for …"; without a handler nothing is shown.
void SetVolumeHintHandler(std::function<void(const std::string& message)> handler);
