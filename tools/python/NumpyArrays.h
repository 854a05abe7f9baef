#pragma once
// How arrays cross between numpy and C++ in the module coreio: inputs are read in place when they
// are C-contiguous of the wanted type (converted once otherwise), outputs are numpy arrays that own
// the C++ vector they show, or views into a C++ object that the numpy array keeps alive.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace CoreIoPython {

namespace py = pybind11;

template <typename T>
using InputArray = py::array_t<T, py::array::c_style | py::array::forcecast>;

inline std::string shapeText(const py::array& array)
{
    std::string text;
    for (py::ssize_t axis = 0; axis < array.ndim(); ++axis)
        text += (axis == 0 ? "" : ", ") + std::to_string(array.shape(axis));
    return "(" + text + (array.ndim() == 1 ? ",)" : ")");
}

// The value as a C-contiguous array of T: the caller's own buffer when it is one already.
// - columns: the width of each row; 0 for a vector (n), -1 for either a vector or rows of any width
// Throws std::invalid_argument naming the array when it is not numeric (not integral for integral
// T) or not of that shape.
template <typename T>
InputArray<T> inputArray(const py::handle& value, const std::string& name, py::ssize_t columns)
{
    const py::array array = py::array::ensure(value);
    const char kind = array ? array.dtype().kind() : 'O';
    const bool numeric = std::string(std::is_integral_v<T> ? "iu" : "iuf").find(kind) != std::string::npos;
    if (!numeric)
        throw std::invalid_argument(name + " must be an array of " + (std::is_integral_v<T> ? "integers" : "numbers"));
    const bool shaped = columns < 0    ? array.ndim() == 1 || array.ndim() == 2
                        : columns == 0 ? array.ndim() == 1
                                       : array.ndim() == 2 && array.shape(1) == columns;
    if (!shaped) {
        const std::string wanted = columns < 0 ? "n or n x k" : columns == 0 ? "n" : "n x " + std::to_string(columns);
        throw std::invalid_argument(name + " must be an " + wanted + " array; got shape " + shapeText(array));
    }
    return InputArray<T>::ensure(array);
}

template <typename T>
std::span<const T> valuesOf(const InputArray<T>& array)
{
    return {array.data(), static_cast<std::size_t>(array.size())};
}

// A numpy array that owns values, shaped rows x columns (a vector when columns is 0).
template <typename T>
py::array_t<T> ownedArray(std::vector<T>&& values, std::size_t columns)
{
    auto* owner = new std::vector<T>(std::move(values));
    const py::capsule base(owner, [](void* held) { delete static_cast<std::vector<T>*>(held); });
    const auto width = static_cast<py::ssize_t>(columns);
    if (columns == 0)
        return py::array_t<T>({static_cast<py::ssize_t>(owner->size())}, owner->data(), base);
    return py::array_t<T>({static_cast<py::ssize_t>(owner->size()) / width, width}, owner->data(), base);
}

// A numpy vector showing a shared vector, which it keeps alive.
template <typename T>
py::array_t<T> sharedArray(const std::shared_ptr<std::vector<T>>& values)
{
    auto* owner = new std::shared_ptr<std::vector<T>>(values);
    const py::capsule base(owner, [](void* held) { delete static_cast<std::shared_ptr<std::vector<T>>*>(held); });
    return py::array_t<T>({static_cast<py::ssize_t>(values->size())}, values->data(), base);
}

// A read-only numpy view of one member of each record of an array of records, kept alive by owner.
// - shape, strides: in items and bytes, as numpy takes them
template <typename T>
py::array_t<T> memberView(const void* first, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
                          const py::handle& owner)
{
    py::array_t<T> view(std::move(shape), std::move(strides), static_cast<const T*>(first), owner);
    py::detail::array_proxy(view.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return view;
}

}  // namespace CoreIoPython
