#include <QtGlobal>

extern "C" Q_DECL_EXPORT void *marglet_createPageFetcher()
{
    return nullptr;
}
