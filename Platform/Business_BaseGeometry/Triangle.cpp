#include "Business_BaseGeometry.h"

namespace Calvora {

Vector<double, 3> Triangle::getNormal() const
{
    if (corners[0] == nullptr || corners[1] == nullptr || corners[2] == nullptr)
        return {};
    const Vector<double, 3> normal = (*corners[1] - *corners[0]).cross(*corners[2] - *corners[0]);
    const double length = normal.length();
    return length > 0.0 ? normal * (1.0 / length) : Vector<double, 3>{};
}

}  // namespace Calvora
