#include "launch/Deployment.h"

#include "tarnkit_deploy.h"

namespace tarn {

const Deployment& BuiltInDeployment() {
    static const Deployment deployment{TARNKIT_WEB_HOST, TARNKIT_SUPPORT_PHONE, TARNKIT_GSN_PROXY_HOST,
                                       TARNKIT_RUSTDESK_HOST, TARNKIT_RUSTDESK_KEY};
    return deployment;
}

}  // namespace tarn
