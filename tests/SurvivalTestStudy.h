#pragma once

#include "survival/SurvivalStudy.h"

// A small study for the survival tests. Three sites; "Spring" and "Summer, late" are never
// missed at a site (every p is 1), so phi and beta are plain binomial proportions: Spring
// 6/8, 4/6 and 2/3 (one fish removed at Middle), Summer 4/4, 3/4 and 2/3. "Dry" has no
// detection. The releases are listed in another order than their fish appear.
inline kd::SurvivalStudy survivalTestStudy()
{
    kd::SurvivalStudy study;
    study.sites = {QStringLiteral("Upper"), QStringLiteral("Middle"),
                   QStringLiteral("Lower, east")};
    study.siteRiverKm = {300, 200, 100};
    study.releases = {{QStringLiteral("Dry"), 400},
                      {QStringLiteral("Summer, late"), 250},
                      {QStringLiteral("Spring"), 350}};
    const auto add = [&study](const char* release, const char* tag, const char* length,
                              const char* weight, QVector<int> codes) {
        study.fish.append({QString::fromUtf8(tag), QString::fromUtf8(release),
                           QString::fromUtf8(length), QString::fromUtf8(weight), codes});
    };
    add("Spring", "G1", "150.5", "12", {1, 1, 1});
    add("Summer, late", "G6", "", "", {1, 1, 1});
    add("Spring", "G2", "200", "40.5", {0, 0, 0});
    add("Dry", "G9", "", "7", {0, 0, 0});
    add("Spring", "G3", "98.7", "8.25", {1, 2, 0});
    add("Spring", "G4", "", "", {1, 1, 0});
    add("Summer, late", "G7", "", "", {1, 1, 0});
    add("Spring", "G5", "", "", {1, 0, 0});
    add("Spring", "G10", "", "", {1, 1, 1});
    add("Summer, late", "G8", "", "", {1, 0, 0});
    add("Spring", "G11", "", "", {1, 0, 0});
    add("Summer, late", "G14", "", "", {1, 1, 1});
    add("Spring", "G12", "", "", {0, 0, 0});
    add("Dry", "G13", "", "", {0, 0, 0});
    return study;
}
