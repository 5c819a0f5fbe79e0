#pragma once

namespace kd {

// The query views of the window and of the run wizard. The numbers are shared by every caller.
enum ViewKind {
    LoadsView = 0,
    RunsView = 1,
    ReleasesView = 2,
    SitesView = 3,
    ReleaseGroupsView = 4,
    ArraysView = 5,
    WizardReleasesView = 6,
    WizardSitesView = 7
};
inline constexpr int ViewKindCount = 8;

} // namespace kd
