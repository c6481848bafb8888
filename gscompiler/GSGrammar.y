/* GameScript grammar. bison turns this file into the LALR(1) parser
 * yyparse(), whose reduction actions build the parse tree (ParseNode.h)
 * through the current GSCompiler::ParseBuilder.
 *
 * The rules are written one production per alternative, without optional
 * or helper nonterminals and without mid-rule actions: the moment at which
 * the parser reads a look-ahead token depends on the rule structure, and
 * each node takes its line from the scanner at the moment its rule is
 * reduced. Refactoring the rules would move message lines.
 *
 * Tokens carry no value: the actions read the text of IDENTIFIER and of the
 * constant tokens from the scanner. That is sound because every state
 * reached by shifting one of them reduces by default without reading
 * another token.
 *
 * The one conflict is the dangling else, resolved by shifting: an else
 * belongs to the nearest if.
 */

%code requires {
#include <cstdint>
struct ParseNode;
}

%code {
#include "gscompiler/ParseBuilder.h"

int yylex();
void yyerror(const char* message);

// The parser stack starts at 200 entries and doubles up to 10,000; past that
// the parse fails with "parser stack overflow".
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

#define B (*GSCompiler::CurrentParse())
// Stores a new node in `target`; a node the arena cannot give ends the parse.
#define MAKE(target, expression) \
  do {                           \
    (target) = (expression);     \
    if ((target) == nullptr) YYABORT; \
  } while (0)

using Node = ParseNode;
}

%expect 1

/* Binary operators, loosest first; each groups to the left. */
%left KEYWORD_OR
%left KEYWORD_AND
%left '|'
%left '^'
%left '&'
%left SYMBOL_EQ SYMBOL_NEQ
%left '<' '>' SYMBOL_LTE SYMBOL_GTE
%left SYMBOL_LEFT_SHIFT SYMBOL_RIGHT_SHIFT
%left '+' '-'
%left '*' '/' '%'

%union {
  ParseNode* node;
  uint32_t bits;
}

%token KEYWORD_BREAK KEYWORD_CASE KEYWORD_CONTINUE KEYWORD_DEFAULT KEYWORD_ELSE
%token KEYWORD_FOR KEYWORD_GOTO KEYWORD_IF KEYWORD_NULL KEYWORD_RETURN
%token KEYWORD_SWITCH KEYWORD_WHILE KEYWORD_AND KEYWORD_OR KEYWORD_TRUE
%token KEYWORD_FALSE KEYWORD_VOID KEYWORD_BOOL KEYWORD_INT KEYWORD_FLOAT
%token KEYWORD_STRING KEYWORD_OBJECT KEYWORD_CLASS KEYWORD_INCLUDE KEYWORD_DEFINE
%token KEYWORD_STATIC KEYWORD_PUBLIC KEYWORD_NATIVE KEYWORD_FINAL KEYWORD_THREAD
%token KEYWORD_GAME KEYWORD_SECURED KEYWORD_SIZE KEYWORD_ISCLASS KEYWORD_COPY
%token KEYWORD_ME KEYWORD_NEW KEYWORD_CAST KEYWORD_WAIT KEYWORD_ON
%token IDENTIFIER CONSTANT_HEX CONSTANT_INT CONSTANT_CHAR CONSTANT_FLOAT
%token CONSTANT_STRING SYMBOL_OP_DIM SYMBOL_RIGHT_SHIFT SYMBOL_LEFT_SHIFT SYMBOL_INC
%token SYMBOL_DEC SYMBOL_LTE SYMBOL_GTE SYMBOL_EQ SYMBOL_NEQ
%token ILLEGAL_CHARACTER

%type <bits> declaration_specifiers declaration_specifier
%type <node> program include_list include_declaration include_file
%type <node> class_declaration_list class_declaration class_list declaration_list declaration
%type <node> function_prototype_declaration function_declaration variable_declaration_list
%type <node> declarator_list declarator type_specifier primitive_type parameter_list parameter
%type <node> compound_statement statement_list statement labeled_statement
%type <node> expression_statement selection_statement iteration_statement jump_statement
%type <node> constant_expression expression assignment_expression logical_or_expression
%type <node> cast_expression unary_expression
%type <node> unary_operator postfix_expression argument_expression_list
%type <node> new_expression identifier constant

%start program

%%

program
  : include_list class_declaration_list   { $$ = B.Append($1, $2); B.SetRoot($$); }
  | class_declaration_list                { $$ = $1; B.SetRoot($$); }
  ;

include_list
  : include_declaration                   { $$ = $1; }
  | include_list include_declaration      { $$ = B.Append($1, $2); }
  ;

include_declaration
  : KEYWORD_INCLUDE include_file          { MAKE($$, B.Node(Node::NodeDeclaration, Node::IncludeDecl, $2)); }
  ;

include_file
  : CONSTANT_STRING                       { MAKE($$, B.IncludeNameFromToken()); }
  ;

class_declaration_list
  : class_declaration                     { $$ = $1; }
  | class_declaration_list class_declaration { $$ = B.Append($1, $2); }
  ;

class_declaration
  : KEYWORD_CLASS identifier '{' '}' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::ClassDecl, B.ToName($2))); }
  | KEYWORD_CLASS identifier '{' declaration_list '}' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::ClassDecl, B.ToName($2), nullptr, $4)); }
  | KEYWORD_CLASS identifier KEYWORD_ISCLASS class_list '{' '}' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::ClassDecl, B.ToName($2), $4)); }
  | KEYWORD_CLASS identifier KEYWORD_ISCLASS class_list '{' declaration_list '}' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::ClassDecl, B.ToName($2), $4, $6)); }
  | declaration_specifiers KEYWORD_CLASS identifier '{' '}' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::ClassDecl, B.ToName($3)));
        $$->flags |= $1; }
  | declaration_specifiers KEYWORD_CLASS identifier '{' declaration_list '}' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::ClassDecl, B.ToName($3), nullptr, $5));
        $$->flags |= $1; }
  | declaration_specifiers KEYWORD_CLASS identifier KEYWORD_ISCLASS class_list '{' '}' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::ClassDecl, B.ToName($3), $5));
        $$->flags |= $1; }
  | declaration_specifiers KEYWORD_CLASS identifier KEYWORD_ISCLASS class_list '{' declaration_list '}' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::ClassDecl, B.ToName($3), $5, $7));
        $$->flags |= $1; }
  ;

class_list
  : identifier                            { $$ = B.ToName($1); }
  | class_list ',' identifier             { $$ = B.Append($1, B.ToName($3)); }
  ;

declaration_list
  : declaration                           { $$ = $1; }
  | declaration_list declaration          { $$ = B.Append($1, $2); }
  ;

declaration
  : function_declaration                  { $$ = $1; }
  | function_prototype_declaration        { $$ = $1; }
  | variable_declaration_list             { $$ = $1; $$->flags |= Node::MemberVariable; }
  | declaration_specifiers function_declaration            { $$ = $2; $$->flags |= $1; }
  | declaration_specifiers function_prototype_declaration  { $$ = $2; $$->flags |= $1; }
  | declaration_specifiers variable_declaration_list
      { $$ = $2; $$->flags |= $1 | Node::MemberVariable; }
  ;

declaration_specifiers
  : declaration_specifier                 { $$ = $1; }
  | declaration_specifiers declaration_specifier { $$ = $1 | $2; }
  ;

declaration_specifier
  : KEYWORD_PUBLIC                        { $$ = Node::SpecPublic; }
  | KEYWORD_NATIVE                        { $$ = Node::SpecNative; }
  | KEYWORD_FINAL                         { $$ = Node::SpecFinal; }
  | KEYWORD_THREAD                        { $$ = Node::SpecThread; }
  | KEYWORD_STATIC                        { $$ = Node::SpecStatic; }
  | KEYWORD_GAME                          { $$ = Node::SpecGame; }
  | KEYWORD_SECURED                       { $$ = Node::SpecSecured; }
  | KEYWORD_DEFINE                        { $$ = Node::SpecDefine; }
  ;

function_prototype_declaration
  : type_specifier identifier '(' ')' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::FunctionProto, $1, B.ToName($2))); }
  | type_specifier identifier '(' KEYWORD_VOID ')' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::FunctionProto, $1, B.ToName($2))); }
  | type_specifier identifier '(' parameter_list ')' ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::FunctionProto, $1, B.ToName($2), $4)); }
  ;

function_declaration
  : type_specifier identifier '(' ')' compound_statement
      { $5->flags |= Node::FunctionBody;
        MAKE($$, B.Node(Node::NodeDeclaration, Node::FunctionDecl, $1, B.ToName($2), nullptr, $5)); }
  | type_specifier identifier '(' KEYWORD_VOID ')' compound_statement
      { $6->flags |= Node::FunctionBody;
        MAKE($$, B.Node(Node::NodeDeclaration, Node::FunctionDecl, $1, B.ToName($2), nullptr, $6)); }
  | type_specifier identifier '(' parameter_list ')' compound_statement
      { $6->flags |= Node::FunctionBody;
        MAKE($$, B.Node(Node::NodeDeclaration, Node::FunctionDecl, $1, B.ToName($2), $4, $6)); }
  ;

variable_declaration_list
  : type_specifier declarator_list ';'
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::VarDeclList, $1, $2)); }
  ;

declarator_list
  : declarator                            { $$ = $1; }
  | declarator_list ',' declarator        { $$ = B.Append($1, $3); }
  ;

declarator
  : identifier
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::Declarator, B.ToName($1))); }
  | identifier '=' constant_expression
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::Declarator, B.ToName($1), $3)); }
  ;

type_specifier
  : primitive_type                        { $$ = $1; }
  | primitive_type SYMBOL_OP_DIM          { $$ = $1; $$->op += Node::TypeArray; }
  | identifier                            { MAKE($$, B.TypeSpec(Node::TypeObject, B.ToName($1))); }
  | identifier SYMBOL_OP_DIM
      { MAKE($$, B.TypeSpec(Node::TypeObject + Node::TypeArray, B.ToName($1))); }
  ;

primitive_type
  : KEYWORD_VOID                          { MAKE($$, B.TypeSpec(Node::TypeVoid, nullptr)); }
  | KEYWORD_BOOL                          { MAKE($$, B.TypeSpec(Node::TypeBool, nullptr)); }
  | KEYWORD_INT                           { MAKE($$, B.TypeSpec(Node::TypeInt, nullptr)); }
  | KEYWORD_FLOAT                         { MAKE($$, B.TypeSpec(Node::TypeFloat, nullptr)); }
  | KEYWORD_STRING                        { MAKE($$, B.TypeSpec(Node::TypeString, nullptr)); }
  | KEYWORD_OBJECT                        { MAKE($$, B.TypeSpec(Node::TypeObject, nullptr)); }
  ;

parameter_list
  : parameter                             { $$ = $1; }
  | parameter_list ',' parameter          { $$ = B.Append($1, $3); }
  ;

parameter
  : type_specifier identifier
      { MAKE($$, B.Node(Node::NodeDeclaration, Node::Param, $1, B.ToName($2))); }
  ;

compound_statement
  : '{' '}'                               { MAKE($$, B.Node(Node::NodeStatement, Node::Block)); }
  | '{' statement_list '}'                { MAKE($$, B.Node(Node::NodeStatement, Node::Block, $2)); }
  ;

statement_list
  : statement                             { $$ = $1; }
  | statement_list statement              { $$ = B.Append($1, $2); }
  ;

/* An expression statement is written out here (the loop heads still use
 * expression_statement): one reduction less for each statement. */
statement
  : variable_declaration_list             { $$ = $1; }
  | labeled_statement                     { $$ = $1; }
  | compound_statement                    { $$ = $1; }
  | ';'                                   { $$ = nullptr; }
  | expression ';'                        { $$ = $1; B.MarkDiscarded($$); }
  | selection_statement                   { $$ = $1; }
  | iteration_statement                   { $$ = $1; }
  | jump_statement                        { $$ = $1; }
  ;

labeled_statement
  : identifier ':' statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::LabelStmt, B.ToName($1)));
        B.Append($$, $3); }
  | KEYWORD_CASE constant_expression ':' statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::CaseLabel, $2)); B.Append($$, $4); }
  | KEYWORD_DEFAULT ':' statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::DefaultLabel)); B.Append($$, $3); }
  | KEYWORD_ON constant ',' constant ':' statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::OnLabel, $2, $4)); B.Append($$, $6); }
  | KEYWORD_ON constant ',' constant ',' unary_expression ':' statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::OnLabel, $2, $4, $6)); B.Append($$, $8); }
  ;

expression_statement
  : ';'                                   { $$ = nullptr; }
  | expression ';'                        { $$ = $1; B.MarkDiscarded($$); }
  ;

selection_statement
  : KEYWORD_IF '(' expression ')' statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::IfStmt, $3, $5)); }
  | KEYWORD_IF '(' expression ')' statement KEYWORD_ELSE statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::IfStmt, $3, $5, $7)); }
  | KEYWORD_SWITCH '(' expression ')' compound_statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::SwitchStmt, $3, $5)); }
  | KEYWORD_WAIT '(' ')' compound_statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::WaitStmt, $4)); }
  ;

iteration_statement
  : KEYWORD_WHILE '(' expression ')' statement
      { MAKE($$, B.Node(Node::NodeStatement, Node::WhileStmt, $3, $5)); }
  | KEYWORD_FOR '(' expression_statement expression_statement ')' statement
      { B.KeepLastValue($4);
        MAKE($$, B.Node(Node::NodeStatement, Node::ForStmt, $3, $4, $6)); }
  | KEYWORD_FOR '(' expression_statement expression_statement expression ')' statement
      { B.KeepLastValue($4);
        B.MarkDiscarded($5);
        MAKE($$, B.Node(Node::NodeStatement, Node::ForStmt, $3, $4, $7, $5)); }
  ;

jump_statement
  : KEYWORD_GOTO identifier ';'
      { MAKE($$, B.Node(Node::NodeStatement, Node::GotoStmt, B.ToName($2))); }
  | KEYWORD_CONTINUE ';'                  { MAKE($$, B.Node(Node::NodeStatement, Node::ContinueStmt)); }
  | KEYWORD_BREAK ';'                     { MAKE($$, B.Node(Node::NodeStatement, Node::BreakStmt)); }
  | KEYWORD_RETURN ';'                    { MAKE($$, B.Node(Node::NodeStatement, Node::ReturnStmt)); }
  | KEYWORD_RETURN expression ';'         { MAKE($$, B.Node(Node::NodeStatement, Node::ReturnStmt, $2)); }
  ;

constant_expression
  : logical_or_expression                 { $$ = $1; }
  ;

/* An expression's first operand is written out (an assignment_expression
 * without the reduction that makes it one): one reduction less for each
 * expression. */
expression
  : logical_or_expression                 { $$ = $1; }
  | unary_expression '=' assignment_expression { MAKE($$, B.Operator(Node::OpAssign, $1, $3)); }
  | expression ',' assignment_expression  { B.MarkCommaOperand($1); $$ = B.Append($1, $3); }
  ;

assignment_expression
  : logical_or_expression                 { $$ = $1; }
  | unary_expression '=' assignment_expression { MAKE($$, B.Operator(Node::OpAssign, $1, $3)); }
  ;

/* The binary operators in one rule, their precedence and grouping given by
 * the declarations at the head of this file: the same trees as one rule
 * per precedence level, without a reduction per level for each operand.
 * An operand is a cast_expression, whose alternatives are written out here
 * so that an operand takes one reduction less; the one-time choices of the
 * parse (which token is read before which node is made) stay the same. */
logical_or_expression
  : postfix_expression                    { $$ = $1; }
  | SYMBOL_INC unary_expression           { MAKE($$, B.Operator(Node::OpPreInc, $2)); }
  | SYMBOL_DEC unary_expression           { MAKE($$, B.Operator(Node::OpPreDec, $2)); }
  | unary_operator cast_expression        { $$ = $1; $$->child[0] = $2; }
  | '(' primitive_type ')' cast_expression
      { MAKE($$, B.Operator(Node::OpCast, $4, $2)); }
  | '(' primitive_type SYMBOL_OP_DIM ')' cast_expression
      { $2->op += Node::TypeArray; MAKE($$, B.Operator(Node::OpCast, $5, $2)); }
  | KEYWORD_CAST '<' type_specifier '>' cast_expression
      { MAKE($$, B.Operator(Node::OpCast, $5, $3)); }
  | logical_or_expression KEYWORD_OR logical_or_expression  { MAKE($$, B.Operator(Node::OpOr, $1, $3)); }
  | logical_or_expression KEYWORD_AND logical_or_expression { MAKE($$, B.Operator(Node::OpAnd, $1, $3)); }
  | logical_or_expression '|' logical_or_expression { MAKE($$, B.Operator(Node::OpBitOr, $1, $3)); }
  | logical_or_expression '^' logical_or_expression { MAKE($$, B.Operator(Node::OpBitXor, $1, $3)); }
  | logical_or_expression '&' logical_or_expression { MAKE($$, B.Operator(Node::OpBitAnd, $1, $3)); }
  | logical_or_expression SYMBOL_EQ logical_or_expression  { MAKE($$, B.Operator(Node::OpEqual, $1, $3)); }
  | logical_or_expression SYMBOL_NEQ logical_or_expression { MAKE($$, B.Operator(Node::OpNotEqual, $1, $3)); }
  | logical_or_expression '<' logical_or_expression        { MAKE($$, B.Operator(Node::OpLess, $1, $3)); }
  | logical_or_expression '>' logical_or_expression        { MAKE($$, B.Operator(Node::OpGreater, $1, $3)); }
  | logical_or_expression SYMBOL_LTE logical_or_expression { MAKE($$, B.Operator(Node::OpLessEqual, $1, $3)); }
  | logical_or_expression SYMBOL_GTE logical_or_expression { MAKE($$, B.Operator(Node::OpGreaterEqual, $1, $3)); }
  | logical_or_expression SYMBOL_LEFT_SHIFT logical_or_expression  { MAKE($$, B.Operator(Node::OpShiftLeft, $1, $3)); }
  | logical_or_expression SYMBOL_RIGHT_SHIFT logical_or_expression { MAKE($$, B.Operator(Node::OpShiftRight, $1, $3)); }
  | logical_or_expression '+' logical_or_expression { MAKE($$, B.Operator(Node::OpAdd, $1, $3)); }
  | logical_or_expression '-' logical_or_expression { MAKE($$, B.Operator(Node::OpSub, $1, $3)); }
  | logical_or_expression '*' logical_or_expression { MAKE($$, B.Operator(Node::OpMul, $1, $3)); }
  | logical_or_expression '/' logical_or_expression { MAKE($$, B.Operator(Node::OpDiv, $1, $3)); }
  | logical_or_expression '%' logical_or_expression { MAKE($$, B.Operator(Node::OpMod, $1, $3)); }
  ;

cast_expression
  : unary_expression                      { $$ = $1; }
  | '(' primitive_type ')' cast_expression
      { MAKE($$, B.Operator(Node::OpCast, $4, $2)); }
  | '(' primitive_type SYMBOL_OP_DIM ')' cast_expression
      { $2->op += Node::TypeArray; MAKE($$, B.Operator(Node::OpCast, $5, $2)); }
  | KEYWORD_CAST '<' type_specifier '>' cast_expression
      { MAKE($$, B.Operator(Node::OpCast, $5, $3)); }
  ;

unary_expression
  : postfix_expression                    { $$ = $1; }
  | SYMBOL_INC unary_expression           { MAKE($$, B.Operator(Node::OpPreInc, $2)); }
  | SYMBOL_DEC unary_expression           { MAKE($$, B.Operator(Node::OpPreDec, $2)); }
  | unary_operator cast_expression        { $$ = $1; $$->child[0] = $2; }
  ;

unary_operator
  : '+'                                   { MAKE($$, B.Operator(Node::OpUnaryPlus, nullptr)); }
  | '-'                                   { MAKE($$, B.Operator(Node::OpNegate, nullptr)); }
  | '~'                                   { MAKE($$, B.Operator(Node::OpComplement, nullptr)); }
  | '!'                                   { MAKE($$, B.Operator(Node::OpNot, nullptr)); }
  ;

/* The primary expressions (a name, me, null, a constant, a new expression
 * or a parenthesised expression) are written out as postfix expressions,
 * the constants too (the "on" labels still use `constant`): one or two
 * reductions less for each operand. */
postfix_expression
  : identifier                            { $$ = $1; }
  | KEYWORD_ME                            { MAKE($$, B.Node(Node::NodeExpression, Node::Me)); }
  | KEYWORD_NULL                          { MAKE($$, B.Node(Node::NodeExpression, Node::Null)); }
  | CONSTANT_HEX                          { MAKE($$, B.HexFromToken()); }
  | CONSTANT_INT                          { MAKE($$, B.DecimalFromToken()); }
  | CONSTANT_CHAR                         { MAKE($$, B.CharFromToken()); }
  | CONSTANT_FLOAT                        { MAKE($$, B.FloatFromToken()); }
  | CONSTANT_STRING                       { MAKE($$, B.StringFromToken()); }
  | KEYWORD_TRUE                          { MAKE($$, B.BoolConstant(true)); }
  | KEYWORD_FALSE                         { MAKE($$, B.BoolConstant(false)); }
  | new_expression                        { $$ = $1; }
  | '(' expression ')'                    { $$ = $2; }
  | postfix_expression '[' ',' assignment_expression ']'
      { MAKE($$, B.Operator(Node::OpRangeIndex, $1, nullptr, $4)); }
  | postfix_expression '[' assignment_expression ',' ']'
      { MAKE($$, B.Operator(Node::OpRangeIndex, $1, $3, nullptr)); }
  | postfix_expression '[' assignment_expression ',' assignment_expression ']'
      { MAKE($$, B.Operator(Node::OpRangeIndex, $1, $3, $5)); }
  | postfix_expression '[' assignment_expression ']'
      { MAKE($$, B.Operator(Node::OpIndex, $1, $3)); }
  | postfix_expression '(' ')'
      { MAKE($$, B.Node(Node::NodeExpression, Node::Call, $1)); }
  | postfix_expression '(' argument_expression_list ')'
      { MAKE($$, B.Node(Node::NodeExpression, Node::Call, $1, $3)); }
  | postfix_expression '.' identifier
      { MAKE($$, B.Operator(Node::OpMember, $1, B.ToMemberName($3))); }
  | postfix_expression SYMBOL_INC         { MAKE($$, B.Operator(Node::OpPostInc, $1)); }
  | postfix_expression SYMBOL_DEC         { MAKE($$, B.Operator(Node::OpPostDec, $1)); }
  | postfix_expression '.' KEYWORD_SIZE '(' ')'
      { MAKE($$, B.Operator(Node::OpSize, $1)); }
  | postfix_expression '.' KEYWORD_ISCLASS '(' identifier ')'
      { MAKE($$, B.Operator(Node::OpIsClass, $1, B.ToName($5))); }
  | postfix_expression '.' KEYWORD_COPY '(' assignment_expression ')'
      { MAKE($$, B.Operator(Node::OpCopy, $1, $5)); }
  ;

argument_expression_list
  : assignment_expression                 { $$ = $1; }
  | argument_expression_list ',' assignment_expression { $$ = B.Append($1, $3); }
  ;

new_expression
  : KEYWORD_NEW primitive_type '(' ')'
      { MAKE($$, B.Operator(Node::OpNew, $2)); }
  | KEYWORD_NEW primitive_type '(' argument_expression_list ')'
      { MAKE($$, B.Operator(Node::OpNew, $2, nullptr, $4)); }
  | KEYWORD_NEW primitive_type '[' expression ']'
      { $2->op += Node::TypeArray; MAKE($$, B.Operator(Node::OpNew, $2, $4)); }
  | KEYWORD_NEW identifier '(' ')'
      { ParseNode* type;
        MAKE(type, B.TypeSpec(Node::TypeObject, B.ToName($2)));
        MAKE($$, B.Operator(Node::OpNew, type)); }
  | KEYWORD_NEW identifier '(' argument_expression_list ')'
      { ParseNode* type;
        MAKE(type, B.TypeSpec(Node::TypeObject, B.ToName($2)));
        MAKE($$, B.Operator(Node::OpNew, type, nullptr, $4)); }
  | KEYWORD_NEW identifier '[' expression ']'
      { ParseNode* type;
        MAKE(type, B.TypeSpec(Node::TypeObject + Node::TypeArray, B.ToName($2)));
        MAKE($$, B.Operator(Node::OpNew, type, $4)); }
  ;

identifier
  : IDENTIFIER                            { MAKE($$, B.IdentifierFromToken()); }
  ;

constant
  : CONSTANT_HEX                          { MAKE($$, B.HexFromToken()); }
  | CONSTANT_INT                          { MAKE($$, B.DecimalFromToken()); }
  | CONSTANT_CHAR                         { MAKE($$, B.CharFromToken()); }
  | CONSTANT_FLOAT                        { MAKE($$, B.FloatFromToken()); }
  | CONSTANT_STRING                       { MAKE($$, B.StringFromToken()); }
  | KEYWORD_TRUE                          { MAKE($$, B.BoolConstant(true)); }
  | KEYWORD_FALSE                         { MAKE($$, B.BoolConstant(false)); }
  ;

%%
