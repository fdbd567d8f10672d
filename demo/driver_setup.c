/* The driver-setup step of the failing demo version: it ends the way a
   driver setup that cannot install ends, with ERROR_INSTALL_FAILURE, so
   that the installer rolls the package back. Built for i686 so that every
   Windows target, 32-bit or 64-bit, runs it. */
int main(void)
{
    return 1603;
}
