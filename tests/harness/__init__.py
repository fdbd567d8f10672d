"""The run matrix: every end-to-end case of tests/runs, written once, run
against each target of harness/targets.py a build can run (tests/runs/
CMakeLists.txt picks them per preset); one the machine cannot run ends with
status 77, a skip to CTest. By hand, with the environment CTest sets (see
`ctest -V -R runs_win64`): python3 -m harness win64 -k WorkingFolder

A case is a method of a harness.Case: it sets up its fresh self.target,
then self.scenario(...) runs the tool and checks the whole run.
"""

from .case import Case, only, unprivileged  # noqa: F401
from .files import contents, fill, padded_folder, put, units  # noqa: F401
from .lines import *  # noqa: F401,F403
