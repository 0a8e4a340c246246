#include "key_request.h"

#include "key_exception.h"

#include <exception>

KeyOutcome run_key_request(const std::function<void()>& request)
{
    try {
        request();
        return KeyOutcome::Done;
    } catch (const KeyNoObjectException&) {
        return KeyOutcome::PressNeeded;
    } catch (const KeyAccessException&) {
        return KeyOutcome::Lost;
    } catch (const std::exception&) {
        return KeyOutcome::Failed;
    }
}
