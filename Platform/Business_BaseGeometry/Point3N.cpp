#include "Business_BaseGeometry.h"

namespace Calvora {

void Point3N::set(double x, double y, double z)
{
    this->x = x;
    this->y = y;
    this->z = z;
}

void Point3N::set(double x, double y, double z, double nx, double ny, double nz)
{
    set(x, y, z);
    setNormal(nx, ny, nz);
}

void Point3N::setNormal(double nx, double ny, double nz)
{
    normal_ = {nx, ny, nz};
}

const Vector<double, 3>& Point3N::getNormal() const
{
    return normal_;
}

}  // namespace Calvora
