// The resource library needs one translation unit of its own; the data comes from the .qrc.
namespace vesk {
int resourcesAnchor()
{
    return 0;
}
} // namespace vesk
