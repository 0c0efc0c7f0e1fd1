#include "maps/map_errors.h"

namespace maps {

report::RaisedError MapError(MapErrorNumber number) {
    switch (number) {
    case kInvalidArgument:
        return {number, "プロシージャの呼び出し、または引数が不正です。"};
    case kOverflow:
        return {number, "オーバーフローしました。"};
    case kOutOfMemory:
        return {number, "メモリが不足しています。"};
    case kSubscriptOutOfRange:
        return {number, "インデックスが有効範囲にありません。"};
    case kTypeMismatch:
        return {number, "型が一致しません。"};
    case kDuplicateKey:
        return {number, "このキーは既にこのコレクションの要素に割り当てられています。"};
    }
    return {number, "アプリケーション定義またはオブジェクト定義のエラーです。"};
}

} // namespace maps
