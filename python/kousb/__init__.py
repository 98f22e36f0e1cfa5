# SPDX-License-Identifier: MIT
# The package kousb: everything is in the extension _kousb; this file only
# gives it the package's name (and its help text, version and stubs).
from ._kousb import *  # noqa: F401,F403
from ._kousb import __doc__, __version__  # noqa: F401
