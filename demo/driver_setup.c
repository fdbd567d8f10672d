/* The driver-setup step of the failing demo version: it ends the way a
   driver setup that cannot install ends, with ERROR_INSTALL_FAILURE, so
   that the installer rolls the package back. Built for the architecture of
   the Windows it is installed on. */
int main(void)
{
    return 1603;
}
