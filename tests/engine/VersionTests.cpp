// The one version order: each pair compared both ways.
#include "engine/Version.h"

#include <gtest/gtest.h>

TEST (Version, comparesPartByPartWithMissingPartsAsZero)
{
    struct Case
    {
        const char* a;
        const char* b;
        int order; // of a against b: -1 before, 0 the same, 1 after
    };

    for (const auto& c : { Case { "4.0", "4.0.0.0", 0 },
                           Case { "4.0.0.0", "4.0.2", -1 },
                           Case { "4.0.2", "4.0.10", -1 }, // by number, not by character
                           Case { "4.0.2", "4.0.2.0", 0 },
                           Case { "4.0.2.0", "4.0.1.9", 1 },
                           Case { "4.0.2.0.1", "4.0.2", 1 }, // a fifth part counts too
                           Case { "4.0.010", "4.0.10", 0 },
                           Case { " 4.0.2 ", "4.0.2", 0 },
                           Case { "", "0.0", 0 },             // nothing readable is the lowest
                           Case { "", "0.0.0.1", -1 },
                           Case { "4.x.2", "4.0.2", 0 },      // a part that is no number is 0
                           Case { "4.2-beta", "4.2", 0 },
                           Case { "5", "4.99.99.99", 1 },
                           Case { "99999999999999999999999", "18446744073709551615", 0 }, // held at the largest
                           Case { "18446744073709551614", "18446744073709551615", -1 } })
    {
        const Version a (c.a), b (c.b);
        EXPECT_EQ (a.compare (b), c.order) << c.a << " against " << c.b;
        EXPECT_EQ (b.compare (a), -c.order) << c.b << " against " << c.a;
        EXPECT_EQ (a == b, c.order == 0) << c.a << " == " << c.b;
        EXPECT_EQ (a < b, c.order < 0) << c.a << " < " << c.b;
        EXPECT_EQ (a >= b, c.order >= 0) << c.a << " >= " << c.b;
    }
}
