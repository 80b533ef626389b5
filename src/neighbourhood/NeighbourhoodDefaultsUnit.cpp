#include "neighbourhood/NeighbourhoodServiceUnit.h"

#include "neighbourhood/MdnsSourceUnit.h"
#include "neighbourhood/NetResolverUnit.h"
#include "neighbourhood/SmbSourceUnit.h"
#include "neighbourhood/WsdSourceUnit.h"
#include "text/MsgLangUnit.h"

std::vector<std::shared_ptr<TNetBrowseSource>> TNeighbourhoodService::DefaultSources()
{
    return {std::make_shared<TSmbSource>(), std::make_shared<TWsdSource>(), std::make_shared<TMdnsSource>()};
}

TNetResolveFunction TNeighbourhoodService::DefaultResolver()
{
    TNetResolverConfig config;
    config.LanguageId = TMessageLang::Instance().LanguageId();
    return MakeNetResolver(config);
}
