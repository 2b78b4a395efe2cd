// Every shipped DLL's version resource, read through the system's version
// functions, against the banner the plug-in logs when it starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support.h"

namespace orvo_test {
namespace {

// "1.2" as a four-part version: "1.2.0.0".
std::string FourParts(std::string version) {
  for (int dots = static_cast<int>(std::count(version.begin(), version.end(), '.')); dots < 3;
       ++dots)
    version += ".0";
  return version;
}

std::string ModuleFile(HMODULE module) {
  wchar_t path[MAX_PATH];
  return Utf8(std::wstring_view(path, GetModuleFileNameW(module, path, MAX_PATH)));
}

class VersionResource {
 public:
  explicit VersionResource(const std::string& path) {
    DWORD ignored = 0;
    data_.resize(GetFileVersionInfoSizeW(Wide(path).c_str(), &ignored));
    if (data_.empty() ||
        !GetFileVersionInfoW(Wide(path).c_str(), 0, static_cast<DWORD>(data_.size()), data_.data()))
      data_.clear();
  }
  bool present() const { return !data_.empty(); }
  // FILEVERSION or PRODUCTVERSION as "a.b.c.d".
  std::string Fixed(bool product) const {
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&info), &size)) return {};
    const DWORD high = product ? info->dwProductVersionMS : info->dwFileVersionMS;
    const DWORD low = product ? info->dwProductVersionLS : info->dwFileVersionLS;
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
  }
  std::string Text(const char* name) const {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + Wide(name);
    if (!VerQueryValueW(data_.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
      return "(missing)";
    return Utf8(std::wstring_view(value, length > 0 ? length - 1 : 0));
  }

 private:
  std::vector<char> data_;
};

TEST(VersionResource, AgreesWithTheBannerAndNamesTheFile) {
  std::vector<const char*> files{"Quorlet.orvo", "Linvar.orvo", "Kesmet.orvo"};
  if (kTambrelBuilt) files.push_back("Tambrel.orvo");
  for (const char* file : files) {
    TeskReset();
    const Plugin plugin(file);
    const std::string banner = LogLines().at(0);
    const std::string version = FourParts(banner.substr(banner.rfind(' ') + 1));
    const std::string path = ModuleFile(plugin.module());
    const std::string fileName = path.substr(path.find_last_of('\\') + 1);
    const std::string product = banner.substr(0, banner.find(' '));

    const VersionResource resource(path);
    ASSERT_TRUE(resource.present()) << file;
    EXPECT_EQ(resource.Fixed(false), version) << banner;
    EXPECT_EQ(resource.Fixed(true), version) << banner;
    EXPECT_EQ(resource.Text("FileVersion"), version) << banner;
    EXPECT_EQ(resource.Text("ProductVersion"), version) << banner;
    EXPECT_EQ(resource.Text("ProductName"), product) << banner;
    EXPECT_EQ(resource.Text("OriginalFilename"), fileName) << file;
    EXPECT_EQ(resource.Text("InternalName"), fileName.substr(0, fileName.rfind('.'))) << file;
    EXPECT_GT(resource.Text("FileDescription").size(), 20u) << file;
  }
}

}  // namespace
}  // namespace orvo_test
