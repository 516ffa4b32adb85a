#pragma once
// The project's web addresses, kept in this one place. The version page answers the start-up
// version check; the homepage opens from Help > Go to homepage.

inline constexpr const char* VersionCheckHost = "www.sorvelo.example";
inline constexpr int VersionCheckPort = 80;
inline constexpr const char* VersionCheckUrl = "http://www.sorvelo.example/versioncheck";
inline constexpr const char* HomepageUrl = "http://www.sorvelo.example/?version=1-0.5.1-release";

inline constexpr const char* VersionText = "1.0.5.1.release";
inline constexpr const char* ApplicationTitle = "Sorvelo 1.0.5.1.release";
inline constexpr const char* VersionCheckBody = "versioncheck=1-0.5.1-release";
