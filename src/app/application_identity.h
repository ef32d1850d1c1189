#pragma once

namespace noxa {

// The application's own title, shown on its message boxes.
inline constexpr char kApplicationTitle[] = "VURUZ4E";

// Names the application and its version. No display name is set: the platform would append it
// to every window title, and the title bar must show the station's caption alone.
void SetApplicationIdentity();

}  // namespace noxa
