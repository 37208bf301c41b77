#include "runtime/filter.h"

#include <cctype>
#include <vector>

#include "runtime/text.h"

namespace mirabo {

struct Filter::Node {
  enum class Kind { kValue, kCompare, kAnd, kOr, kNot } kind = Kind::kValue;
  enum class Op { kEq, kNe, kLt, kGt, kLe, kGe } op = Op::kEq;
  ValueRef ref;         // kValue: a bound name, or `literal` below
  std::string literal;  // storage of a literal operand
  RealVar number;       // storage of a numeric literal
  std::unique_ptr<Node> left, right;
};

namespace {

using Node = Filter::Node;

struct Token {
  enum class Type { kEnd, kName, kNumber, kString, kOp, kLParen, kRParen } type = Type::kEnd;
  std::string text;
};

// Bounds on what a filter may hold, so that no text makes the parser or the
// evaluator recurse past the stack: tokens in all, and levels of NOT and
// parentheses.
constexpr int kMaxTokens = 2000;
constexpr int kMaxNesting = 100;

class Parser {
 public:
  Parser(std::string_view text, const Bindings& bindings) : text_(text), bindings_(bindings) {
    Advance();
  }

  std::unique_ptr<Node> Parse(std::string* error) {
    std::unique_ptr<Node> n = ParseOr();
    if (n && tok_.type != Token::Type::kEnd) Fail("unexpected '" + tok_.text + "'");
    if (!error_.empty()) {
      if (error) *error = error_;
      return nullptr;
    }
    return n;
  }

 private:
  void Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
  }

  static bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
  }

  void Advance() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    tok_ = Token{};
    if (pos_ >= text_.size()) return;
    if (++tokens_ > kMaxTokens) {
      Fail("expression too long");
      pos_ = text_.size();
      return;
    }
    const char c = text_[pos_];
    if (c == '(' || c == ')') {
      tok_.type = c == '(' ? Token::Type::kLParen : Token::Type::kRParen;
      tok_.text = c;
      ++pos_;
    } else if (c == '\'') {
      tok_.type = Token::Type::kString;
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size()) {
          Fail("unterminated string");
          return;
        }
        if (text_[pos_] == '\'') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
            tok_.text.push_back('\'');
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        tok_.text.push_back(text_[pos_++]);
      }
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      tok_.type = Token::Type::kNumber;
      while (pos_ < text_.size() &&
             (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.')) {
        tok_.text.push_back(text_[pos_++]);
      }
    } else if (c == '=' || c == '<' || c == '>' || c == '~' || c == '-') {
      tok_.type = Token::Type::kOp;
      tok_.text = c;
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '=' || (c == '<' && text_[pos_] == '>'))) {
        tok_.text.push_back(text_[pos_++]);
      }
    } else if (NameChar(c)) {
      tok_.type = Token::Type::kName;
      while (pos_ < text_.size() && NameChar(text_[pos_])) tok_.text.push_back(text_[pos_++]);
    } else {
      Fail(std::string("unexpected character '") + c + "'");
      pos_ = text_.size();
    }
  }

  bool Keyword(const char* word) const {
    return tok_.type == Token::Type::kName && ToUpper1252(tok_.text) == word;
  }

  std::unique_ptr<Node> ParseOr() {
    std::unique_ptr<Node> left = ParseAnd();
    while (left && Keyword("OR")) {
      Advance();
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::kOr;
      n->left = std::move(left);
      n->right = ParseAnd();
      if (!n->right) return nullptr;
      left = std::move(n);
    }
    return left;
  }

  std::unique_ptr<Node> ParseAnd() {
    std::unique_ptr<Node> left = ParseNot();
    while (left && Keyword("AND")) {
      Advance();
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::kAnd;
      n->left = std::move(left);
      n->right = ParseNot();
      if (!n->right) return nullptr;
      left = std::move(n);
    }
    return left;
  }

  // Counts one level of nesting for its life.
  class Nested {
   public:
    explicit Nested(Parser& p) : p_(p) {
      if (++p_.depth_ > kMaxNesting) p_.Fail("expression nested too deeply");
    }
    ~Nested() { --p_.depth_; }
    bool ok() const { return p_.depth_ <= kMaxNesting; }

   private:
    Parser& p_;
  };

  std::unique_ptr<Node> ParseNot() {
    if (Keyword("NOT") || (tok_.type == Token::Type::kOp && tok_.text == "~")) {
      const Nested level(*this);
      if (!level.ok()) return nullptr;
      Advance();
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::kNot;
      n->left = ParseNot();
      if (!n->left) return nullptr;
      return n;
    }
    return ParseCompare();
  }

  std::unique_ptr<Node> ParseCompare() {
    if (tok_.type == Token::Type::kLParen) {
      const Nested level(*this);
      if (!level.ok()) return nullptr;
      Advance();
      std::unique_ptr<Node> inner = ParseOr();
      if (!inner) return nullptr;
      if (tok_.type != Token::Type::kRParen) {
        Fail("missing ')'");
        return nullptr;
      }
      Advance();
      return inner;
    }
    std::unique_ptr<Node> left = ParseOperand();
    if (!left) return nullptr;
    if (tok_.type != Token::Type::kOp) {
      Fail("a comparison is needed after '" + std::string(left->literal) + "'");
      return nullptr;
    }
    const std::string op = tok_.text;
    auto n = std::make_unique<Node>();
    n->kind = Node::Kind::kCompare;
    if (op == "=")
      n->op = Node::Op::kEq;
    else if (op == "<>" || op == "~=")
      n->op = Node::Op::kNe;
    else if (op == "<")
      n->op = Node::Op::kLt;
    else if (op == ">")
      n->op = Node::Op::kGt;
    else if (op == "<=")
      n->op = Node::Op::kLe;
    else if (op == ">=")
      n->op = Node::Op::kGe;
    else {
      Fail("unknown operator '" + op + "'");
      return nullptr;
    }
    Advance();
    n->left = std::move(left);
    n->right = ParseOperand();
    if (!n->right) return nullptr;
    return n;
  }

  std::unique_ptr<Node> ParseOperand() {
    auto n = std::make_unique<Node>();
    bool negative = false;
    if (tok_.type == Token::Type::kOp && tok_.text == "-") {
      negative = true;
      Advance();
    }
    switch (tok_.type) {
      case Token::Type::kName: {
        n->ref = bindings_.Lookup(tok_.text);
        n->literal = tok_.text;
        if (!n->ref.valid()) {
          Fail("unknown name '" + tok_.text + "'");
          return nullptr;
        }
        if (negative) {
          Fail("a minus needs a number");
          return nullptr;
        }
        break;
      }
      case Token::Type::kNumber: {
        n->number.value = std::strtod(tok_.text.c_str(), nullptr) * (negative ? -1 : 1);
        n->ref = n->number.ref();
        n->literal = tok_.text;
        break;
      }
      case Token::Type::kString: {
        n->literal = tok_.text;
        n->ref = {FieldType::kString, n->literal.data(), static_cast<int>(n->literal.size())};
        break;
      }
      default:
        Fail(tok_.type == Token::Type::kEnd ? "the expression ends too early"
                                            : "unexpected '" + tok_.text + "'");
        return nullptr;
    }
    Advance();
    return n;
  }

  std::string_view text_;
  const Bindings& bindings_;
  size_t pos_ = 0;
  Token tok_;
  std::string error_;
  int tokens_ = 0;
  int depth_ = 0;
};

bool Eval(const Node& n) {
  switch (n.kind) {
    case Node::Kind::kAnd:
      return Eval(*n.left) && Eval(*n.right);
    case Node::Kind::kOr:
      return Eval(*n.left) || Eval(*n.right);
    case Node::Kind::kNot:
      return !Eval(*n.left);
    case Node::Kind::kValue:
      return n.ref.numeric() ? n.ref.GetNumber() != 0 : !Clip(n.ref.Bytes()).empty();
    case Node::Kind::kCompare: {
      const int c = CompareValues(n.left->ref, n.right->ref);
      switch (n.op) {
        case Node::Op::kEq:
          return c == 0;
        case Node::Op::kNe:
          return c != 0;
        case Node::Op::kLt:
          return c < 0;
        case Node::Op::kGt:
          return c > 0;
        case Node::Op::kLe:
          return c <= 0;
        case Node::Op::kGe:
          return c >= 0;
      }
    }
  }
  return false;
}

const Node* FindEquality(const Node* n, const char* field) {
  if (!n) return nullptr;
  if (n->kind == Node::Kind::kAnd) {
    const Node* l = FindEquality(n->left.get(), field);
    return l ? l : FindEquality(n->right.get(), field);
  }
  if (n->kind != Node::Kind::kCompare || n->op != Node::Op::kEq) return nullptr;
  if (n->left->ref.data == field && n->right->ref.data != field) return n->right.get();
  if (n->right->ref.data == field && n->left->ref.data != field) return n->left.get();
  return nullptr;
}

}  // namespace

Filter::Filter() = default;
Filter::~Filter() = default;
Filter::Filter(Filter&&) noexcept = default;
Filter& Filter::operator=(Filter&&) noexcept = default;

bool Filter::Compile(std::string_view text, const Bindings& bindings, std::string* error) {
  root_.reset();
  if (Clip(text).find_first_not_of(' ') == std::string_view::npos) return true;
  Parser parser(text, bindings);
  std::string why;
  root_ = parser.Parse(&why);
  if (!root_ && error) *error = why;
  return root_ != nullptr;
}

bool Filter::Evaluate() const { return !root_ || Eval(*root_); }

std::optional<ValueRef> Filter::EqualityOn(const char* field) const {
  const Node* other = FindEquality(root_.get(), field);
  if (!other) return std::nullopt;
  return other->ref;
}

}  // namespace mirabo
