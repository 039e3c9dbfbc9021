#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ui/resource/skin_resources.h"

namespace ui {

class Control;
class ImageInfo;
class IRenderFactory;

// Supplies controls for skin tags the builder does not know; returns nullptr
// when it does not know the tag either.
using CreateControlCallback = std::function<Control*(const std::wstring&)>;

// Process-wide skin state: the resources, attribute classes, language
// strings, the control hook and the render factory. UI thread only; no locks.
class GlobalManager : public SkinResources {
 public:
  // Start-up, once, before any window exists: resource root = resource_path +
  // theme_folder, DPI adaptation, "global.xml" from the root, then the language
  // file resource_path + language_folder + "/gdstrings.ini" (from the archive
  // when one is open, else from disk).
  static void Initialize(const std::wstring& resource_path, const CreateControlCallback& callback,
                         bool reserved, const std::wstring& theme_folder,
                         const std::wstring& language_folder);
  // Drops every table, the archive, the hooks and the factory, and resets the
  // DPI state; for tests and orderly shutdown.
  static void Shutdown();

  // Named attribute lists.
  static void AddClass(const std::wstring& name, const std::wstring& attributes);
  static std::wstring GetClass(const std::wstring& name);
  static void ClearClasses();

  // Language strings ("key = value" lines, ";" comments).
  static bool LoadLanguageFile(const std::wstring& path);
  static void LoadLanguageData(std::string_view utf8);
  static std::wstring GetLanguageString(const std::wstring& id);
  static void ClearLanguageStrings();

  static void SetCreateControlCallback(const CreateControlCallback& callback);
  static const CreateControlCallback& GetCreateControlCallback();

  // The manager owns the render factory.
  static void SetRenderFactory(std::unique_ptr<IRenderFactory> factory);
  static IRenderFactory* GetRenderFactory();
};

}  // namespace ui
