"""Lets ParaView 5.11 load Python plugins under Python 3.11.

ParaView's plugin helper `paraview.detail.pythonalgorithm` imports `inspect.getargspec`, which
Python 3.11 removed, so every Python plugin fails to load. Imported at interpreter start-up by
coreio-paraview.pth, this module puts a finder first on `sys.meta_path` that gives `inspect` back
its `getargspec`, built on `getfullargspec`, just before that helper is imported, and only if
`inspect` lacks it. Nothing else changes: other programs never import the helper, and a ParaView or
Python that needs no help gets none.
"""
import sys

PLUGIN_HELPER = "paraview.detail.pythonalgorithm"


def getargspec(function):
    """(args, varargs, keywords, defaults) of a function, as inspect gave them before 3.11."""
    import inspect
    from collections import namedtuple

    full = inspect.getfullargspec(function)
    return namedtuple("ArgSpec", "args varargs keywords defaults")(full.args, full.varargs, full.varkw, full.defaults)


class GetargspecRestorer:
    """A meta-path finder that finds nothing: it only prepares `inspect` for the plugin helper."""

    def find_spec(self, name, path=None, target=None):
        if name == PLUGIN_HELPER:
            import inspect

            if not hasattr(inspect, "getargspec"):
                inspect.getargspec = getargspec
        return None


def install():
    if not any(isinstance(finder, GetargspecRestorer) for finder in sys.meta_path):
        sys.meta_path.insert(0, GetargspecRestorer())


install()
