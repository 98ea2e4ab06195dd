// A private folder for one test, as one platform service.
#pragma once

#include <string>

// Makes a new, empty folder in the system's temporary folder, named prefix plus a random part
// that no other folder there has; returns its path, or "" when none could be made (reported on
// standard error). Two suites running side by side never share one.
std::string make_temp_folder(const std::string& prefix);

// A folder made by make_temp_folder, removed with everything in it when the object ends; path()
// is "" when none could be made.
class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix = "cw_test_");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};
