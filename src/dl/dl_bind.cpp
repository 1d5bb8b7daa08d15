#include "dl/dl_bind.hpp"

#include "dl/activations.hpp"
#include "dl/losses.hpp"
#include "dl/optim.hpp"
#include "frame/binding.hpp"

namespace qv::dl::bind {

using arg::Float, arg::Int32, arg::Seed, arg::Size;
using X = P<arg::ArrayF64<1>, "x">;
using Pred = P<arg::ArrayF64<1>, "predictions">;
using Targ = P<arg::ArrayF64<1>, "targets">;
using Params = P<arg::ArrayMutF64, "params">;
using Grads = P<arg::ArrayF64<1>, "grads">;

// Every entry point checks its arrays and computes with the lock released.
template <Name N, auto Routine, class... Ps>
using Released = Function<N, Lock::Released, Routine, Ps...>;

// --- activations -------------------------------------------------------------

PyMethodDef relu = Released<"relu", dl::relu, X>::def("relu(x)\n--\n\n");
PyMethodDef relu_derivative = Released<"relu_derivative", dl::relu_derivative, X>::def("relu_derivative(x)\n--\n\n");
PyMethodDef leaky_relu = Released<"leaky_relu", dl::leaky_relu, X, P<Float, "alpha", 0.01>>::def(
    "leaky_relu(x, alpha=0.01)\n--\n\n"
    "Leaky ReLU: avoids the \"dead neuron\" problem where a standard ReLU\n"
    "permanently zeroes out a unit whose input never goes positive again.");
PyMethodDef leaky_relu_derivative =
    Released<"leaky_relu_derivative", dl::leaky_relu_derivative, X, P<Float, "alpha", 0.01>>::def(
        "leaky_relu_derivative(x, alpha=0.01)\n--\n\n");
PyMethodDef elu = Released<"elu", dl::elu, X, P<Float, "alpha", 1.0>>::def(
    "elu(x, alpha=1.0)\n--\n\n"
    "ELU: smooth for x < 0 (unlike Leaky ReLU's hard kink), which can speed\n"
    "up convergence by keeping mean activations closer to zero.");
PyMethodDef elu_derivative =
    Released<"elu_derivative", dl::elu_derivative, X, P<Float, "alpha", 1.0>>::def("elu_derivative(x, alpha=1.0)\n--\n\n");
PyMethodDef gelu = Released<"gelu", dl::gelu, X>::def(
    "gelu(x)\n--\n\n"
    "GELU (tanh approximation) — the activation used in BERT/GPT-style\n"
    "transformers. Smoother than ReLU everywhere, which matters for\n"
    "transformer training stability.");
PyMethodDef silu = Released<"silu", dl::silu, X>::def(
    "silu(x)\n--\n\n"
    "Swish / SiLU: x * sigmoid(x). Used in EfficientNet and several modern\n"
    "architectures; unlike ReLU, it's non-monotonic and smooth everywhere.");
PyMethodDef silu_derivative = Released<"silu_derivative", dl::silu_derivative, X>::def("silu_derivative(x)\n--\n\n");
PyMethodDef sigmoid = Released<"sigmoid", dl::sigmoid, X>::def("sigmoid(x)\n--\n\n");
PyMethodDef sigmoid_derivative =
    Released<"sigmoid_derivative", dl::sigmoid_derivative, X>::def("sigmoid_derivative(x)\n--\n\n");
PyMethodDef tanh = Released<"tanh", dl::tanh, X>::def("tanh(x)\n--\n\n");
PyMethodDef tanh_derivative = Released<"tanh_derivative", dl::tanh_derivative, X>::def("tanh_derivative(x)\n--\n\n");

// --- softmax, one-hot and losses ---------------------------------------------

PyMethodDef softmax = Released<"softmax", dl::softmax, P<arg::ArrayF64<2>, "x">>::def(
    "softmax(x)\n--\n\n"
    "Row-wise softmax over a (batch, classes) matrix. Numerically stable —\n"
    "subtracts the row max before exponentiating, which a naive\n"
    "`exp(x) / sum(exp(x))` implementation typically skips and then overflows\n"
    "on any reasonably large logit.");
PyMethodDef softmax_cross_entropy = Released<"softmax_cross_entropy", dl::softmax_cross_entropy,
                                             P<arg::ArrayF64<2>, "logits">, P<arg::IndexArray, "targets">>::def(
    "softmax_cross_entropy(logits, targets)\n--\n\n"
    "Fused softmax + cross-entropy: computes the mean loss AND the gradient\n"
    "w.r.t. the logits in a single pass, ready to backprop directly. This is\n"
    "exactly what PyTorch's `F.cross_entropy` does internally — computing\n"
    "softmax and cross-entropy as separate steps in Python is both slower\n"
    "(two full passes over the data) and less numerically stable (you'd be\n"
    "taking log() of an already-exponentiated, already-normalized value).\n"
    "`targets` is class indices (like PyTorch), not one-hot vectors.");
PyMethodDef one_hot =
    Released<"one_hot", dl::one_hot, P<arg::IndexArray, "indices">, P<Size, "num_classes">>::def(
        "one_hot(indices, num_classes)\n--\n\n"
        "One-hot encode class indices into a (n, num_classes) float matrix.");
PyMethodDef mse_loss = Released<"mse_loss", dl::mse_loss, Pred, Targ>::def("mse_loss(predictions, targets)\n--\n\n");
PyMethodDef categorical_cross_entropy =
    Released<"categorical_cross_entropy", dl::categorical_cross_entropy, Pred, Targ>::def(
        "categorical_cross_entropy(predictions, targets)\n--\n\n");
PyMethodDef mae_loss = Released<"mae_loss", dl::mae_loss, Pred, Targ>::def(
    "mae_loss(predictions, targets)\n--\n\n"
    "Mean Absolute Error (MAE / L1) Loss: L = (1/N) * sum(|y_pred - y_true|)");
PyMethodDef bce_loss = Released<"bce_loss", dl::bce_loss, Pred, Targ>::def(
    "bce_loss(predictions, targets)\n--\n\n"
    "Binary Cross Entropy (BCE) Loss: L = -(1/N) * sum(y_true*log(y_pred) + (1-y_true)*log(1-y_pred))");

// --- optimizer steps, clipping and dropout -----------------------------------

PyMethodDef sgd_momentum_step =
    Released<"sgd_momentum_step", dl::sgd_momentum_step, Params, Grads, P<arg::ArrayMutF64, "velocity">,
             P<Float, "lr">, P<Float, "momentum">>::def("sgd_momentum_step(params, grads, velocity, lr, momentum)\n--\n\n");
PyMethodDef adam_step =
    Released<"adam_step", dl::adam_step, Params, Grads, P<arg::ArrayMutF64, "m">, P<arg::ArrayMutF64, "v">,
             P<Float, "lr", 0.001>, P<Float, "beta1", 0.9>, P<Float, "beta2", 0.999>, P<Float, "eps", 1e-8>,
             P<Int32, "t", 1>>::def(
        "adam_step(params, grads, m, v, lr=0.001, beta1=0.9, beta2=0.999, eps=1e-8, t=1)\n--\n\n"
        "Adam optimizer step. `m` and `v` are the first/second moment buffers\n"
        "the caller owns and passes back in each step; `t` is the 1-indexed\n"
        "timestep, used for bias correction.");
PyMethodDef clip_grad_norm =
    Released<"clip_grad_norm", dl::clip_grad_norm, P<arg::ArrayMutF64, "grads">, P<Float, "max_norm">>::def(
        "clip_grad_norm(grads, max_norm)\n--\n\n"
        "Clips gradients in place by global L2 norm (matches\n"
        "torch.nn.utils.clip_grad_norm_ semantics) and returns the pre-clip norm,\n"
        "useful for logging/debugging exploding gradients.");

PyMethodDef dropout = Released<"dropout", dl::dropout, X, P<Float, "p">, P<Seed, "seed", arg::NoneDefault{}>>::def(
    "dropout(x, p, seed=None)\n--\n\n"
    "Inverted dropout: zeroes each element with probability `p` and scales\n"
    "survivors by 1/(1-p), so no rescaling is needed at inference time.\n"
    "Pass `seed` for reproducible masks (e.g. in tests), omit it for a fresh\n"
    "random mask drawn from a thread-local RNG each call.");

}  // namespace qv::dl::bind
