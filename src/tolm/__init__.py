"""tolm: compile, check and analyse fused-filament move plans by the material they deposit.

The native module `_tolm` does the work; this package adds the command line and small helpers.
"""

import _tolm
from _tolm import *  # noqa: F401,F403  (the published functions and the Program class)

__version__ = _tolm.version()
__all__ = list(_tolm.__all__)
