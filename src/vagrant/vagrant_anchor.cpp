// Keeps the library non-empty while its classes are being added.
namespace vesk {
int vagrantAnchor()
{
    return 0;
}
} // namespace vesk
